#include "tools/fftools/annexb_stream.h"

#include <algorithm>

#include "tools/common/picture_order.h"
#include "tools/fftools/h264_stream.h"
#include "tools/fftools/hevc_stream.h"

namespace fftools {

bool AccessUnitReader::IsSlice(const std::vector<uint8_t>& nal) const {
    if (hevc_) {
        int type = tool_args::HevcNalType({nal.data(), nal.size()});
        return type >= 0 && type < 32;
    }
    int type = nal[0] & 0x1F;
    return type == 1 || type == 5;
}

// A new picture starts with an access unit delimiter, parameter sets or SEI
// after a slice, or with a slice that is its picture's first.
bool AccessUnitReader::StartsUnit(const std::vector<uint8_t>& nal) const {
    if (hevc_) {
        int type = tool_args::HevcNalType({nal.data(), nal.size()});
        return (type >= 32 && type <= 35) || type == 39 || (type >= 41 && type <= 44) || (type >= 48 && type <= 55) ||
               (IsSlice(nal) && nal.size() > 2 && (nal[2] & 0x80) != 0);
    }
    int type = nal[0] & 0x1F;
    return type == 9 || type == 6 || type == 7 || type == 8 || (type >= 14 && type <= 18) ||
           (IsSlice(nal) && nal.size() > 1 && (nal[1] & 0x80) != 0);
}

bool AccessUnitReader::Fill() {
    if (ended_) return false;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ = 0;
    size_t old = buffer_.size();
    buffer_.resize(old + readSize_);
    size_t got = std::fread(buffer_.data() + old, 1, readSize_, file_);
    buffer_.resize(old + got);
    if (got < readSize_) {
        if (std::ferror(file_)) throw StreamError("cannot read the video stream");
        ended_ = true;
    }
    return got > 0;
}

bool AccessUnitReader::NextNal(std::vector<uint8_t>& nal) {
    // Find a start code (00 00 01), then the next one or the end.
    auto findStart = [&](size_t from) -> size_t {
        for (;;) {
            for (size_t i = from; i + 2 < buffer_.size(); ++i) {
                if (buffer_[i] == 0 && buffer_[i + 1] == 0 && buffer_[i + 2] == 1) return i;
            }
            size_t scanned = buffer_.size() >= 2 ? buffer_.size() - 2 : 0;
            size_t base = position_;
            if (!Fill()) return SIZE_MAX;
            from = std::max(from, scanned) - base;  // Fill moved the data by `base`
        }
    };
    size_t start = findStart(position_);
    if (start == SIZE_MAX) return false;
    position_ = start + 3;
    size_t end = findStart(position_);
    size_t stop = end == SIZE_MAX ? buffer_.size() : end;
    // Trailing zeros belong to the next start code (00 00 00 01).
    size_t last = stop;
    while (last > position_ && buffer_[last - 1] == 0)
        --last;
    nal.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(position_),
               buffer_.begin() + static_cast<std::ptrdiff_t>(last));
    position_ = stop;
    return true;
}

bool AccessUnitReader::Next(std::vector<uint8_t>& unit) {
    unit.clear();
    bool haveSlice = false;
    std::vector<uint8_t> nal;
    for (;;) {
        if (havePending_) {
            nal.swap(pending_);
            havePending_ = false;
        } else if (!NextNal(nal)) {
            return !unit.empty();
        }
        if (nal.size() < (hevc_ ? 2u : 1u)) continue;
        if (haveSlice && StartsUnit(nal)) {
            pending_.swap(nal);
            havePending_ = true;
            return true;
        }
        if (IsSlice(nal)) haveSlice = true;
        if (rateNum_ != 0) {
            if (hevc_) {
                SetHevcFrameRate(nal, rateNum_, rateDen_);
            } else {
                SetSpsFrameRate(nal, rateNum_, rateDen_);
            }
        }
        static const uint8_t kStart[] = {0, 0, 0, 1};
        unit.insert(unit.end(), std::begin(kStart), std::end(kStart));
        unit.insert(unit.end(), nal.begin(), nal.end());
    }
}

std::vector<int64_t> PresentationOrder(std::FILE* file, VideoCodec codec, int64_t& delay) {
    AccessUnitReader reader(file, codec);
    tool_args::PictureOrder order;
    std::vector<uint8_t> unit;
    if (codec == VideoCodec::Hevc) {
        tool_args::HevcUnits units;
        HevcPocCounter counter;
        while (reader.Next(unit)) {
            tool_args::HevcUnits::Unit picture = units.Next(unit.data(), unit.size());
            for (const tool_args::Piece& nal : picture.parameterSets)
                counter.Parameters(nal);
            order.Add(counter.Count(picture.slice, picture.afresh), picture.afresh);
        }
        return order.Finish(delay);
    }
    H264PocCounter counter;
    while (reader.Next(unit)) {
        // Parameter sets first, then the unit's first slice.
        for (const tool_args::Piece& nal : tool_args::NalUnits(unit.data(), unit.size())) {
            int type = nal.data[0] & 0x1F;
            if (type == 1 || type == 5) {
                bool idr = false;
                int64_t count = counter.Count(nal, idr);
                order.Add(count, idr);
                break;
            }
            counter.Parameters(nal);
        }
    }
    return order.Finish(delay);
}

}  // namespace fftools
