#include "mfxsoft/null_stream.h"

#include <algorithm>
#include <cstring>
#include <deque>

#include "mfxsoft/bit_writer.h"

namespace mfxsoft {

const std::array<uint8_t, 16> kNullRecordTag = {0x4d, 0x46, 0x58, 0x53, 0x6f, 0x66, 0x74, 0x20,
                                                0x6e, 0x75, 0x6c, 0x6c, 0x2e, 0x72, 0x65, 0x63};  // "MFXSoft null.rec"

std::array<uint8_t, kNullBlockSize> PackNullRecord(const NullRecord& record) {
    std::array<uint8_t, kNullBlockSize> b{};
    auto put = [&b](size_t at, uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    std::memcpy(b.data(), "MFXSNULL", 8);
    put(8, record.order, 4);
    put(12, record.frameType, 2);
    put(16, record.timeStamp, 8);
    put(24, record.checksum, 4);
    put(28, kNullBlockSize, 4);
    return b;
}

namespace {

// The crop area's samples, edges repeated beyond it (coded sizes are whole
// blocks); 8-bit values from NV12, 10-bit values from P010.
class Samples {
public:
    Samples(const CodecConfig& c, const PictureView& p) : c_(c), p_(p) {}

    int Luma(int x, int y) const {
        x = std::min(x, c_.cropW - 1);
        y = std::min(y, c_.cropH - 1);
        return Read(p_.y + static_cast<size_t>(c_.cropY + y) * p_.yPitch, c_.cropX + x);
    }
    // plane 0: Cb, 1: Cr; chroma coordinates.
    int Chroma(int plane, int x, int y) const {
        x = std::min(x, (c_.cropW + 1) / 2 - 1);
        y = std::min(y, (c_.cropH + 1) / 2 - 1);
        return Read(p_.uv + static_cast<size_t>(c_.cropY / 2 + y) * p_.uvPitch, 2 * (c_.cropX / 2 + x) + plane);
    }

private:
    int Read(const uint8_t* row, int index) const {
        if (c_.bitDepth <= 8) return row[index];
        const int stored = row[2 * index] | row[2 * index + 1] << 8;
        return c_.shift != 0 ? stored >> 6 : stored & 0x3FF;
    }

    const CodecConfig& c_;
    const PictureView& p_;
};

// The user data SEI payload: the tag, then the record.
void PutRecordSei(BitWriter* w, const NullRecord& record) {
    w->Put(5, 8);  // user_data_unregistered
    w->Put(static_cast<uint32_t>(kNullRecordTag.size() + kNullBlockSize), 8);
    for (uint8_t byte : kNullRecordTag) w->Put(byte, 8);
    for (uint8_t byte : PackNullRecord(record)) w->Put(byte, 8);
    w->PutTrailingBits();
}

// The video signal fields shared by the H.264 and HEVC VUI.
void PutVideoSignal(BitWriter* w, const CodecConfig& c) {
    w->PutBit(c.signal);  // video_signal_type_present_flag
    if (!c.signal) return;
    w->Put(static_cast<uint32_t>(c.videoFormat), 3);
    w->PutBit(c.fullRange);
    w->PutBit(c.colourDescription);
    if (c.colourDescription) {
        w->Put(static_cast<uint32_t>(c.primaries), 8);
        w->Put(static_cast<uint32_t>(c.transfer), 8);
        w->Put(static_cast<uint32_t>(c.matrix), 8);
    }
}

// Blocks of `size` covering the crop area, and the crop (in chroma units of 2
// samples) that leaves the crop size, rounded up to even.
struct Layout {
    int columns, rows;
    int cropRight, cropBottom;
};

Layout BlockLayout(const CodecConfig& c, int size) {
    Layout l{};
    l.columns = (c.cropW + size - 1) / size;
    l.rows = (c.cropH + size - 1) / size;
    l.cropRight = (l.columns * size - (c.cropW + 1) / 2 * 2) / 2;
    l.cropBottom = (l.rows * size - (c.cropH + 1) / 2 * 2) / 2;
    return l;
}

// ---- H.264 ----

class AvcStream final : public NullStream {
public:
    explicit AvcStream(const CodecConfig& c) : c_(c), layout_(BlockLayout(c, 16)) {}

    std::vector<uint8_t> Picture(const NullRecord& record, const PictureView* picture, int leading) override {
        const uint16_t type = record.frameType;
        const bool intra = (type & MFX_FRAMETYPE_I) != 0 && picture != nullptr;
        const bool idr = (type & MFX_FRAMETYPE_IDR) != 0;
        const bool reference = (type & MFX_FRAMETYPE_REF) != 0;
        std::vector<uint8_t> out;
        if (intra) {
            AppendNal(&out, Sps());
            AppendNal(&out, Pps());
        }
        BitWriter sei;
        sei.Put(0x06, 8);
        PutRecordSei(&sei, record);
        AppendNal(&out, sei.Bytes());

        if (idr) {
            pocBase_ = static_cast<int64_t>(record.order) - leading;
            prevRefFrameNum_ = 0;
        }
        const uint32_t frameNum = idr ? 0 : (prevRefFrameNum_ + 1) & 0xFFFF;
        if (reference) prevRefFrameNum_ = frameNum;

        BitWriter w;
        w.Put(0, 1);
        w.Put(reference ? 3 : 0, 2);
        w.Put(idr ? 5 : 1, 5);
        const bool b = (type & MFX_FRAMETYPE_B) != 0;
        w.PutUe(0);                          // first_mb_in_slice
        w.PutUe(intra ? 7 : b ? 6 : 5);      // I, B, P: every slice of the picture
        w.PutUe(0);                          // pic_parameter_set_id
        w.Put(frameNum, 16);
        if (idr) w.PutUe(idrPicId_++ & 1);
        w.Put(static_cast<uint32_t>(2 * (static_cast<int64_t>(record.order) - pocBase_)) & 0xFFFF, 16);
        if (b) w.PutBit(true);  // direct_spatial_mv_pred_flag
        if (!intra) {
            w.PutBit(false);  // num_ref_idx_active_override_flag
            w.PutBit(false);  // ref_pic_list_modification_flag_l0
            if (b) w.PutBit(false);
        }
        if (reference) {
            w.PutBit(false);  // IDR: no_output_of_prior_pics_flag; otherwise adaptive_ref_pic_marking_mode_flag
            if (idr) w.PutBit(false);  // long_term_reference_flag
        }
        w.PutSe(0);  // slice_qp_delta
        w.PutUe(1);  // disable_deblocking_filter_idc: PCM samples stay as they are
        if (intra) {
            const Samples s(c_, *picture);
            for (int my = 0; my < layout_.rows; ++my) {
                for (int mx = 0; mx < layout_.columns; ++mx) {
                    w.PutUe(25);  // I_PCM
                    w.AlignZero();
                    for (int y = 0; y < 16; ++y) {
                        for (int x = 0; x < 16; ++x) w.Put(static_cast<uint32_t>(s.Luma(16 * mx + x, 16 * my + y)), 8);
                    }
                    for (int plane = 0; plane < 2; ++plane) {
                        for (int y = 0; y < 8; ++y) {
                            for (int x = 0; x < 8; ++x) {
                                w.Put(static_cast<uint32_t>(s.Chroma(plane, 8 * mx + x, 8 * my + y)), 8);
                            }
                        }
                    }
                }
            }
        } else {
            w.PutUe(static_cast<uint32_t>(layout_.columns * layout_.rows));  // mb_skip_run: all of them
        }
        w.PutTrailingBits();
        AppendNal(&out, w.Bytes());
        return out;
    }

private:
    std::vector<uint8_t> Sps() const {
        BitWriter w;
        w.Put(0x67, 8);
        const int profileIdc = c_.profile & 0xFF;
        uint32_t constraints = 0;
        for (int n = 0; n < 6; ++n) {
            if (c_.profile & (0x100 << n)) constraints |= 0x80u >> n;
        }
        int levelIdc = c_.level;
        if (levelIdc == MFX_LEVEL_AVC_1b && profileIdc != MFX_PROFILE_AVC_HIGH) {
            levelIdc = 11;
            constraints |= 0x10;  // constraint_set3_flag: level 1b
        }
        w.Put(static_cast<uint32_t>(profileIdc), 8);
        w.Put(constraints, 8);
        w.Put(static_cast<uint32_t>(levelIdc), 8);
        w.PutUe(0);  // seq_parameter_set_id
        if (profileIdc == MFX_PROFILE_AVC_HIGH) {
            w.PutUe(1);         // chroma_format_idc: 4:2:0
            w.PutUe(0);         // bit_depth_luma_minus8
            w.PutUe(0);         // bit_depth_chroma_minus8
            w.PutBit(false);    // qpprime_y_zero_transform_bypass_flag
            w.PutBit(false);    // seq_scaling_matrix_present_flag
        }
        w.PutUe(12);  // log2_max_frame_num_minus4
        w.PutUe(0);   // pic_order_cnt_type
        w.PutUe(12);  // log2_max_pic_order_cnt_lsb_minus4
        const bool bFrames = c_.refDist > 1;
        w.PutUe(bFrames ? 2 : 1);  // max_num_ref_frames: the two anchors around B pictures
        w.PutBit(false);           // gaps_in_frame_num_value_allowed_flag
        w.PutUe(static_cast<uint32_t>(layout_.columns - 1));
        w.PutUe(static_cast<uint32_t>(layout_.rows - 1));
        w.PutBit(true);  // frame_mbs_only_flag
        w.PutBit(true);  // direct_8x8_inference_flag
        const bool crop = layout_.cropRight != 0 || layout_.cropBottom != 0;
        w.PutBit(crop);
        if (crop) {
            w.PutUe(0);
            w.PutUe(static_cast<uint32_t>(layout_.cropRight));
            w.PutUe(0);
            w.PutUe(static_cast<uint32_t>(layout_.cropBottom));
        }
        w.PutBit(true);   // vui_parameters_present_flag
        w.PutBit(false);  // aspect_ratio_info_present_flag
        w.PutBit(false);  // overscan_info_present_flag
        PutVideoSignal(&w, c_);
        w.PutBit(false);  // chroma_loc_info_present_flag
        const bool timing = c_.rateN != 0 && c_.rateD != 0;
        w.PutBit(timing);
        if (timing) {
            w.Put(c_.rateD, 32);      // num_units_in_tick
            w.Put(2 * c_.rateN, 32);  // time_scale: two ticks a frame
            w.PutBit(true);           // fixed_frame_rate_flag
        }
        w.PutBit(false);  // nal_hrd_parameters_present_flag
        w.PutBit(false);  // vcl_hrd_parameters_present_flag
        w.PutBit(false);  // pic_struct_present_flag
        w.PutBit(true);   // bitstream_restriction_flag
        w.PutBit(true);   // motion_vectors_over_pic_boundaries_flag
        w.PutUe(0);       // max_bytes_per_pic_denom
        w.PutUe(0);       // max_bits_per_mb_denom
        w.PutUe(16);      // log2_max_mv_length_horizontal
        w.PutUe(16);      // log2_max_mv_length_vertical
        w.PutUe(bFrames ? 1 : 0);  // max_num_reorder_frames
        w.PutUe(bFrames ? 2 : 1);  // max_dec_frame_buffering
        w.PutTrailingBits();
        return w.Bytes();
    }

    static std::vector<uint8_t> Pps() {
        BitWriter w;
        w.Put(0x68, 8);
        w.PutUe(0);       // pic_parameter_set_id
        w.PutUe(0);       // seq_parameter_set_id
        w.PutBit(false);  // entropy_coding_mode_flag: CAVLC
        w.PutBit(false);  // bottom_field_pic_order_in_frame_present_flag
        w.PutUe(0);       // num_slice_groups_minus1
        w.PutUe(0);       // num_ref_idx_l0_default_active_minus1
        w.PutUe(0);       // num_ref_idx_l1_default_active_minus1
        w.PutBit(false);  // weighted_pred_flag
        w.Put(0, 2);      // weighted_bipred_idc
        w.PutSe(0);       // pic_init_qp_minus26
        w.PutSe(0);       // pic_init_qs_minus26
        w.PutSe(0);       // chroma_qp_index_offset
        w.PutBit(true);   // deblocking_filter_control_present_flag
        w.PutBit(false);  // constrained_intra_pred_flag
        w.PutBit(false);  // redundant_pic_cnt_present_flag
        w.PutTrailingBits();
        return w.Bytes();
    }

    const CodecConfig c_;
    const Layout layout_;
    int64_t pocBase_ = 0;          // display order of POC 0 since the last IDR
    uint32_t prevRefFrameNum_ = 0;
    uint32_t idrPicId_ = 0;
};

// ---- HEVC ----

enum HevcNal : uint32_t {
    kTrailN = 0,
    kTrailR = 1,
    kRadlN = 6,
    kRaslN = 8,
    kIdrWRadl = 19,
    kCra = 21,
    kVps = 32,
    kSps = 33,
    kPps = 34,
    kPrefixSei = 39,
};

void PutHevcNalHeader(BitWriter* w, uint32_t type) {
    w->Put(type << 1, 8);
    w->Put(1, 8);  // layer 0, temporal id 0
}

class HevcStream final : public NullStream {
public:
    explicit HevcStream(const CodecConfig& c) : c_(c), layout_(BlockLayout(c, 16)) {}

    std::vector<uint8_t> Picture(const NullRecord& record, const PictureView* picture, int /*leading*/) override {
        const uint16_t type = record.frameType;
        const bool intra = (type & MFX_FRAMETYPE_I) != 0 && picture != nullptr;
        const bool idr = intra && (type & MFX_FRAMETYPE_IDR) != 0;
        const bool anchor = (type & MFX_FRAMETYPE_REF) != 0;
        std::vector<uint8_t> out;
        if (intra) {
            AppendNal(&out, Vps());
            AppendNal(&out, Sps());
            AppendNal(&out, Pps());
        }
        BitWriter sei;
        PutHevcNalHeader(&sei, kPrefixSei);
        PutRecordSei(&sei, record);
        AppendNal(&out, sei.Bytes());

        if (idr) {
            idrOrder_ = static_cast<int64_t>(record.order);
            anchors_.clear();
        }
        const int64_t poc = static_cast<int64_t>(record.order) - idrOrder_;
        if (intra) irapPoc_ = poc;
        // The reference picture set: an anchor keeps the last anchor (the B
        // pictures between the two use both); a B picture uses both anchors.
        std::vector<int64_t> kept;
        if (anchor && !anchors_.empty()) kept.push_back(anchors_.back());
        if (!anchor) kept.assign(anchors_.begin(), anchors_.end());
        const bool used = !intra;  // an intra picture only keeps them for the B pictures that follow

        uint32_t nalType = idr ? kIdrWRadl : intra ? kCra : anchor ? kTrailR : kTrailN;
        if (!anchor && poc < irapPoc_) nalType = irapIdr_ ? kRadlN : kRaslN;
        if (intra) irapIdr_ = idr;

        BitWriter w;
        PutHevcNalHeader(&w, nalType);
        w.PutBit(true);  // first_slice_segment_in_pic_flag
        if (intra) w.PutBit(false);  // no_output_of_prior_pics_flag
        w.PutUe(0);  // slice_pic_parameter_set_id
        const bool b = !intra && !anchor;
        w.PutUe(intra ? 2 : b ? 0 : 1);  // slice_type
        if (!idr) {
            w.Put(static_cast<uint32_t>(poc) & 0xFFFF, 16);  // slice_pic_order_cnt_lsb
            w.PutBit(false);  // short_term_ref_pic_set_sps_flag
            std::vector<int64_t> before, after;
            for (int64_t p : kept) (p < poc ? before : after).push_back(p);
            std::sort(before.rbegin(), before.rend());
            std::sort(after.begin(), after.end());
            w.PutUe(static_cast<uint32_t>(before.size()));
            w.PutUe(static_cast<uint32_t>(after.size()));
            int64_t previous = poc;
            for (int64_t p : before) {
                w.PutUe(static_cast<uint32_t>(previous - p - 1));
                w.PutBit(used);
                previous = p;
            }
            previous = poc;
            for (int64_t p : after) {
                w.PutUe(static_cast<uint32_t>(p - previous - 1));
                w.PutBit(used);
                previous = p;
            }
        }
        if (!intra) {
            w.PutBit(false);  // num_ref_idx_active_override_flag: one reference a list
            if (b) w.PutBit(false);  // mvd_l1_zero_flag
            w.PutUe(4);  // five_minus_max_num_merge_cand: one candidate, no merge_idx
        }
        w.PutSe(0);  // slice_qp_delta
        w.PutTrailingBits();  // byte_alignment()

        CabacWriter cabac(&w);
        cabac.Start();
        const int count = layout_.columns * layout_.rows;
        if (intra) {
            const Samples s(c_, *picture);
            const int depth = c_.bitDepth;
            uint8_t partMode = CabacWriter::InitContext(184, kSliceQp);
            for (int i = 0; i < count; ++i) {
                const int cx = i % layout_.columns, cy = i / layout_.columns;
                cabac.EncodeBin(&partMode, true);  // PART_2Nx2N
                cabac.EncodeTerminate(true);       // pcm_flag
                w.AlignZero();
                for (int y = 0; y < 16; ++y) {
                    for (int x = 0; x < 16; ++x) w.Put(static_cast<uint32_t>(s.Luma(16 * cx + x, 16 * cy + y)), depth);
                }
                for (int plane = 0; plane < 2; ++plane) {
                    for (int y = 0; y < 8; ++y) {
                        for (int x = 0; x < 8; ++x) {
                            w.Put(static_cast<uint32_t>(s.Chroma(plane, 8 * cx + x, 8 * cy + y)), depth);
                        }
                    }
                }
                cabac.Start();
                cabac.EncodeTerminate(i + 1 == count);  // end_of_slice_segment_flag
            }
        } else {
            uint8_t skip[3];
            for (int k = 0; k < 3; ++k) skip[k] = CabacWriter::InitContext(kSkipInit[k], kSliceQp);
            for (int i = 0; i < count; ++i) {
                const int cx = i % layout_.columns, cy = i / layout_.columns;
                cabac.EncodeBin(&skip[(cx > 0 ? 1 : 0) + (cy > 0 ? 1 : 0)], true);  // cu_skip_flag
                cabac.EncodeTerminate(i + 1 == count);
            }
        }
        w.AlignZero();  // the terminating bin wrote the stop bit
        AppendNal(&out, w.Bytes());

        if (anchor) {
            anchors_.push_back(poc);
            while (anchors_.size() > 2) anchors_.pop_front();
        }
        return out;
    }

private:
    static constexpr int kSliceQp = 26;
    static constexpr int kSkipInit[3] = {197, 185, 201};

    void PutProfileTierLevel(BitWriter* w) const {
        const bool main10 = c_.bitDepth > 8;
        w->Put(0, 2);  // general_profile_space
        w->Put(0, 1);  // general_tier_flag: main
        w->Put(main10 ? 2 : 1, 5);
        // Compatibility: Main streams are Main 10 streams too.
        w->Put(main10 ? 0x20000000u : 0x60000000u, 32);
        w->PutBit(true);   // general_progressive_source_flag
        w->PutBit(false);  // general_interlaced_source_flag
        w->PutBit(false);  // general_non_packed_constraint_flag
        w->PutBit(true);   // general_frame_only_constraint_flag
        w->Put(0, 32);
        w->Put(0, 12);
        w->Put(static_cast<uint32_t>(3 * c_.level), 8);  // general_level_idc
    }

    void PutDpb(BitWriter* w) const {
        const bool bFrames = c_.refDist > 1;
        w->PutBit(true);           // sub_layer_ordering_info_present_flag
        w->PutUe(bFrames ? 2 : 1);  // max_dec_pic_buffering_minus1
        w->PutUe(bFrames ? 1 : 0);  // max_num_reorder_pics
        w->PutUe(0);               // max_latency_increase_plus1
    }

    std::vector<uint8_t> Vps() const {
        BitWriter w;
        PutHevcNalHeader(&w, kVps);
        w.Put(0, 4);       // vps_video_parameter_set_id
        w.PutBit(true);    // vps_base_layer_internal_flag
        w.PutBit(true);    // vps_base_layer_available_flag
        w.Put(0, 6);       // vps_max_layers_minus1
        w.Put(0, 3);       // vps_max_sub_layers_minus1
        w.PutBit(true);    // vps_temporal_id_nesting_flag
        w.Put(0xFFFF, 16);
        PutProfileTierLevel(&w);
        PutDpb(&w);
        w.Put(0, 6);       // vps_max_layer_id
        w.PutUe(0);        // vps_num_layer_sets_minus1
        w.PutBit(false);   // vps_timing_info_present_flag
        w.PutBit(false);   // vps_extension_flag
        w.PutTrailingBits();
        return w.Bytes();
    }

    std::vector<uint8_t> Sps() const {
        BitWriter w;
        PutHevcNalHeader(&w, kSps);
        w.Put(0, 4);     // sps_video_parameter_set_id
        w.Put(0, 3);     // sps_max_sub_layers_minus1
        w.PutBit(true);  // sps_temporal_id_nesting_flag
        PutProfileTierLevel(&w);
        w.PutUe(0);  // sps_seq_parameter_set_id
        w.PutUe(1);  // chroma_format_idc: 4:2:0
        w.PutUe(static_cast<uint32_t>(16 * layout_.columns));
        w.PutUe(static_cast<uint32_t>(16 * layout_.rows));
        const bool crop = layout_.cropRight != 0 || layout_.cropBottom != 0;
        w.PutBit(crop);  // conformance_window_flag
        if (crop) {
            w.PutUe(0);
            w.PutUe(static_cast<uint32_t>(layout_.cropRight));
            w.PutUe(0);
            w.PutUe(static_cast<uint32_t>(layout_.cropBottom));
        }
        const uint32_t depth = static_cast<uint32_t>(c_.bitDepth);
        w.PutUe(depth - 8);
        w.PutUe(depth - 8);
        w.PutUe(12);  // log2_max_pic_order_cnt_lsb_minus4
        PutDpb(&w);
        w.PutUe(1);  // log2_min_luma_coding_block_size_minus3: 16
        w.PutUe(0);  // log2_diff_max_min_luma_coding_block_size: CTU = CU = 16, no split flags
        w.PutUe(0);  // log2_min_luma_transform_block_size_minus2
        w.PutUe(2);  // log2_diff_max_min_luma_transform_block_size
        w.PutUe(0);  // max_transform_hierarchy_depth_inter
        w.PutUe(0);  // max_transform_hierarchy_depth_intra
        w.PutBit(false);  // scaling_list_enabled_flag
        w.PutBit(false);  // amp_enabled_flag
        w.PutBit(false);  // sample_adaptive_offset_enabled_flag
        w.PutBit(true);   // pcm_enabled_flag
        w.Put(depth - 1, 4);
        w.Put(depth - 1, 4);
        w.PutUe(1);       // log2_min_pcm_luma_coding_block_size_minus3: 16
        w.PutUe(0);       // log2_diff_max_min_pcm_luma_coding_block_size
        w.PutBit(true);   // pcm_loop_filter_disabled_flag
        w.PutUe(0);       // num_short_term_ref_pic_sets: each slice has its own
        w.PutBit(false);  // long_term_ref_pics_present_flag
        w.PutBit(false);  // sps_temporal_mvp_enabled_flag
        w.PutBit(false);  // strong_intra_smoothing_enabled_flag
        w.PutBit(true);   // vui_parameters_present_flag
        w.PutBit(false);  // aspect_ratio_info_present_flag
        w.PutBit(false);  // overscan_info_present_flag
        PutVideoSignal(&w, c_);
        w.PutBit(false);  // chroma_loc_info_present_flag
        w.PutBit(false);  // neutral_chroma_indication_flag
        w.PutBit(false);  // field_seq_flag
        w.PutBit(false);  // frame_field_info_present_flag
        w.PutBit(false);  // default_display_window_flag
        const bool timing = c_.rateN != 0 && c_.rateD != 0;
        w.PutBit(timing);
        if (timing) {
            w.Put(c_.rateD, 32);
            w.Put(c_.rateN, 32);
            w.PutBit(false);  // vui_poc_proportional_to_timing_flag
            w.PutBit(false);  // vui_hrd_parameters_present_flag
        }
        w.PutBit(false);  // bitstream_restriction_flag
        w.PutBit(false);  // sps_extension_present_flag
        w.PutTrailingBits();
        return w.Bytes();
    }

    static std::vector<uint8_t> Pps() {
        BitWriter w;
        PutHevcNalHeader(&w, kPps);
        w.PutUe(0);       // pps_pic_parameter_set_id
        w.PutUe(0);       // pps_seq_parameter_set_id
        w.PutBit(false);  // dependent_slice_segments_enabled_flag
        w.PutBit(false);  // output_flag_present_flag
        w.Put(0, 3);      // num_extra_slice_header_bits
        w.PutBit(false);  // sign_data_hiding_enabled_flag
        w.PutBit(false);  // cabac_init_present_flag
        w.PutUe(0);       // num_ref_idx_l0_default_active_minus1
        w.PutUe(0);       // num_ref_idx_l1_default_active_minus1
        w.PutSe(0);       // init_qp_minus26
        w.PutBit(false);  // constrained_intra_pred_flag
        w.PutBit(false);  // transform_skip_enabled_flag
        w.PutBit(false);  // cu_qp_delta_enabled_flag
        w.PutSe(0);       // pps_cb_qp_offset
        w.PutSe(0);       // pps_cr_qp_offset
        w.PutBit(false);  // pps_slice_chroma_qp_offsets_present_flag
        w.PutBit(false);  // weighted_pred_flag
        w.PutBit(false);  // weighted_bipred_flag
        w.PutBit(false);  // transquant_bypass_enabled_flag
        w.PutBit(false);  // tiles_enabled_flag
        w.PutBit(false);  // entropy_coding_sync_enabled_flag
        w.PutBit(false);  // pps_loop_filter_across_slices_enabled_flag
        w.PutBit(true);   // deblocking_filter_control_present_flag
        w.PutBit(false);  // deblocking_filter_override_enabled_flag
        w.PutBit(true);   // pps_deblocking_filter_disabled_flag
        w.PutBit(false);  // pps_scaling_list_data_present_flag
        w.PutBit(false);  // lists_modification_present_flag
        w.PutUe(0);       // log2_parallel_merge_level_minus2
        w.PutBit(false);  // slice_segment_header_extension_present_flag
        w.PutBit(false);  // pps_extension_present_flag
        w.PutTrailingBits();
        return w.Bytes();
    }

    const CodecConfig c_;
    const Layout layout_;
    int64_t idrOrder_ = 0;        // display order of the last IDR (POC 0)
    int64_t irapPoc_ = 0;         // POC of the last intra picture
    bool irapIdr_ = true;         // whether that was an IDR
    std::deque<int64_t> anchors_;  // POCs of the reference pictures kept, oldest first
};

}  // namespace

std::unique_ptr<NullStream> MakeNullStream(const CodecConfig& config) {
    switch (config.codec) {
        case MFX_CODEC_HEVC: return std::make_unique<HevcStream>(config);
        case MFX_CODEC_AV1: return MakeAv1NullStream(config);
        default: return std::make_unique<AvcStream>(config);
    }
}

}  // namespace mfxsoft
