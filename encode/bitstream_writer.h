// Writes byte blocks to one open file, in the order they were queued, on a
// thread of its own, so the encoder never waits for the disk.
//
// Calling order for one encode: StartWriter, SetWriterFile, any number of
// EnqueueBlock (from any thread), FinishWriter, DestroyWriter; the owner then
// closes the file, which the writer never does.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>

#include "platform/file.h"
#include "platform/sync.h"

// The status a short write leaves behind (ERROR_WRITE_FAULT).
inline constexpr uint32_t kWriterShortWrite = 29;

// One queued run of bytes, owned by the writer from EnqueueBlock until its
// thread has tried to write it.
struct WriteBlock {
    uint32_t size;  // never 0
    uint8_t* data;  // array new, `size` bytes
};

struct BitstreamWriter {
    // Guards `blocks` and the setting of `file`. Never held during a write,
    // and no other lock is taken while it is held.
    platform::CriticalSection lock;
    // The output file, not owned. Set once under `lock` before any block is
    // accepted; read by the writer thread and FinishWriter.
    std::atomic<platform::FileHandle> file{nullptr};
    // Manual-reset events. `quitEvent` is signalled once by DestroyWriter;
    // `dataEvent` by EnqueueBlock and FinishWriter, reset by the thread before
    // each pass over the queue (so a block queued during a pass makes
    // another); `drainedEvent` by the thread after each pass (the queue was
    // empty or a write failed), reset by FinishWriter before it asks for one.
    platform::EventHandle quitEvent = nullptr;
    platform::EventHandle dataEvent = nullptr;
    platform::EventHandle drainedEvent = nullptr;
    // 0 while writing succeeds; then the system error code of the failed
    // write, or kWriterShortWrite. Written by the writer thread only, once;
    // read by FinishWriter on the owner's thread.
    std::atomic<uint32_t> status{0};
    // Blocks waiting to be written, oldest first. Under `lock`.
    std::deque<WriteBlock> blocks;
    // The writer thread; null when it could not be started, and then every
    // block is refused. Set by StartWriter before anyone else sees the writer.
    platform::ThreadHandle thread = nullptr;
    // True from the moment the thread takes a block (under `lock`) until its
    // write has ended, so that FinishWriter can wait for the last write
    // rather than only for the queue to empty.
    std::atomic<bool> writing{false};
};

// Creates the writer and starts its thread. Returns the writer even when its
// events or thread could not be created (it then refuses every block); null
// only when the record itself could not be allocated, which the other
// functions accept as a writer that refuses everything.
BitstreamWriter* StartWriter();

// Hands the writer its output file, under the writer's lock.
void SetWriterFile(BitstreamWriter* writer, platform::FileHandle file);

// Copies `length` bytes into a new block at the back of the queue. False,
// with nothing queued, for no bytes, a writer without file or thread, or no
// memory. A writer that has failed still accepts blocks (they are never
// written; FinishWriter reports the failure).
bool EnqueueBlock(BitstreamWriter* writer, const void* bytes, uint32_t length);

// True once a write has failed: nothing more will reach the file. Any thread.
bool WriterFailed(const BitstreamWriter* writer);

// Waits until every queued block has been written or the writer has failed,
// then flushes the file. Returns 0 when every queued block reached the file
// and the flush succeeded; otherwise the writer's failure status (a system
// error code, or kWriterShortWrite), or else the flush's error code.
uint32_t FinishWriter(BitstreamWriter* writer);

// Stops the thread after it has written what is queued (unless a write
// fails), waits for it, and frees the writer with any blocks left in it.
void DestroyWriter(BitstreamWriter* writer);
