#include "encode/bitstream_writer.h"

#include <cstring>
#include <new>

namespace {

// Writes what is queued until the queue is empty or a write fails.
void WriteQueuedBlocks(BitstreamWriter* writer) {
    while (writer->status.load() == 0) {
        WriteBlock block;
        {
            platform::ScopedLock guard(writer->lock);
            if (writer->blocks.empty()) return;
            block = writer->blocks.front();
            writer->blocks.pop_front();
            writer->writing.store(true);
        }
        uint32_t written = 0;
        const bool ok = platform::WriteToFile(writer->file.load(), block.data, block.size, &written);
        uint32_t error = ok ? 0 : platform::LastError();
        delete[] block.data;
        if (!ok || written != block.size) {
            writer->status.store(!ok && error != 0 ? error : kWriterShortWrite);
        }
        writer->writing.store(false);
    }
}

uint32_t WriterThread(void* argument) {
    auto* writer = static_cast<BitstreamWriter*>(argument);
    platform::LabelThreadForSleepCounts("writer");
    for (;;) {
        const int woken = platform::WaitForEither(writer->quitEvent, writer->dataEvent, platform::kWaitForever);
        if (woken != 0 && woken != 1) continue;
        platform::ClearEvent(writer->dataEvent);
        WriteQueuedBlocks(writer);
        platform::SignalEvent(writer->drainedEvent);
        if (woken == 0) return 0;
    }
}

void CloseEvents(BitstreamWriter* writer) {
    for (platform::EventHandle* event : {&writer->quitEvent, &writer->dataEvent, &writer->drainedEvent}) {
        platform::CloseEventHandle(*event);
        *event = nullptr;
    }
}

}  // namespace

BitstreamWriter* StartWriter() {
    BitstreamWriter* writer;
    try {
        writer = new BitstreamWriter;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    writer->quitEvent = platform::CreateManualEvent();
    writer->dataEvent = platform::CreateManualEvent();
    writer->drainedEvent = platform::CreateManualEvent();
    if (writer->quitEvent != nullptr && writer->dataEvent != nullptr && writer->drainedEvent != nullptr) {
        writer->thread = platform::StartThread(WriterThread, writer);
    }
    if (writer->thread == nullptr) {
        CloseEvents(writer);
    }
    return writer;
}

void SetWriterFile(BitstreamWriter* writer, platform::FileHandle file) {
    if (writer == nullptr) return;
    platform::ScopedLock guard(writer->lock);
    writer->file.store(file);
}

bool EnqueueBlock(BitstreamWriter* writer, const void* bytes, uint32_t length) {
    if (writer == nullptr || bytes == nullptr || length == 0) return false;
    {
        platform::ScopedLock guard(writer->lock);
        if (writer->file.load() == nullptr || writer->thread == nullptr) return false;
        auto* data = new (std::nothrow) uint8_t[length];
        if (data == nullptr) return false;
        try {
            writer->blocks.push_back(WriteBlock{length, data});
        } catch (const std::bad_alloc&) {
            delete[] data;
            return false;
        }
        std::memcpy(data, bytes, length);
    }
    platform::SignalEvent(writer->dataEvent);
    return true;
}

bool WriterFailed(const BitstreamWriter* writer) { return writer != nullptr && writer->status.load() != 0; }

uint32_t FinishWriter(BitstreamWriter* writer) {
    if (writer == nullptr) return 0;
    // The thread takes no block once it has failed, so a failure also ends
    // the wait; what is still queued then is never written. The status is
    // final once the thread is idle: it is set before `writing` is cleared.
    // Nobody queues any more, so every pass the thread makes after the
    // request below brings the queue nearer its end, and each pass ends
    // with `drainedEvent`. A writer without thread has nothing queued.
    for (;;) {
        platform::ClearEvent(writer->drainedEvent);
        platform::SignalEvent(writer->dataEvent);
        bool done;
        {
            platform::ScopedLock guard(writer->lock);
            done = writer->blocks.empty() && !writer->writing.load();
        }
        if (done || writer->status.load() != 0) break;
        platform::WaitForEvent(writer->drainedEvent, platform::kWaitForever);
    }
    uint32_t result = 0;
    const platform::FileHandle file = writer->file.load();
    if (file != nullptr && !platform::FlushFile(file)) {
        result = platform::LastError();
        if (result == 0) result = kWriterShortWrite;
    }
    const uint32_t status = writer->status.load();
    return status != 0 ? status : result;
}

void DestroyWriter(BitstreamWriter* writer) {
    if (writer == nullptr) return;
    if (writer->thread != nullptr) {
        platform::SignalEvent(writer->quitEvent);
        platform::WaitThread(writer->thread);
        platform::CloseThreadHandle(writer->thread);
        CloseEvents(writer);
    }
    for (const WriteBlock& block : writer->blocks) delete[] block.data;
    delete writer;
}
