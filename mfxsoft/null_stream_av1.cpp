// The null encoder's AV1 stream: a low-overhead OBU stream, one temporal unit
// a picture in decode order (temporal delimiter; before each key frame the
// sequence header; the record as an ITU-T T.35 metadata OBU). It carries no
// frame OBUs: decoders read the profile, depth and colour config from it, and
// the pictures' types and order from the container, but output no pictures.
#include "mfxsoft/bit_writer.h"
#include "mfxsoft/null_stream.h"

namespace mfxsoft {

void AppendLeb128(std::vector<uint8_t>* out, uint64_t value) {
    do {
        uint8_t byte = value & 0x7F;
        value >>= 7;
        if (value != 0) byte |= 0x80;
        out->push_back(byte);
    } while (value != 0);
}

namespace {

enum ObuType : uint32_t { kSequenceHeader = 1, kTemporalDelimiter = 2, kMetadata = 5 };

void AppendObu(std::vector<uint8_t>* out, uint32_t type, const std::vector<uint8_t>& payload) {
    out->push_back(static_cast<uint8_t>(type << 3 | 0x02));  // obu_has_size_field
    AppendLeb128(out, payload.size());
    out->insert(out->end(), payload.begin(), payload.end());
}

class Av1Stream final : public NullStream {
public:
    explicit Av1Stream(const CodecConfig& c) : c_(c) {}

    std::vector<uint8_t> Picture(const NullRecord& record, const PictureView* /*picture*/, int /*leading*/) override {
        std::vector<uint8_t> out;
        AppendObu(&out, kTemporalDelimiter, {});
        if (record.frameType & MFX_FRAMETYPE_I) AppendObu(&out, kSequenceHeader, SequenceHeader());
        std::vector<uint8_t> metadata;
        AppendLeb128(&metadata, 4);  // METADATA_TYPE_ITUT_T35
        metadata.push_back(0xFF);    // itu_t_t35_country_code: the extension byte follows
        metadata.push_back(0x00);
        metadata.insert(metadata.end(), kNullRecordTag.begin(), kNullRecordTag.end());
        const auto packed = PackNullRecord(record);
        metadata.insert(metadata.end(), packed.begin(), packed.end());
        metadata.push_back(0x80);  // trailing bits
        AppendObu(&out, kMetadata, metadata);
        return out;
    }

private:
    std::vector<uint8_t> SequenceHeader() const {
        BitWriter w;
        w.Put(0, 3);      // seq_profile: Main
        w.PutBit(false);  // still_picture
        w.PutBit(false);  // reduced_still_picture_header
        w.PutBit(false);  // timing_info_present_flag
        w.PutBit(false);  // initial_display_delay_present_flag
        w.Put(0, 5);      // operating_points_cnt_minus_1
        w.Put(0, 12);     // operating_point_idc
        const int levelIdx = (c_.level / 10 - 2) * 4 + c_.level % 10;
        w.Put(static_cast<uint32_t>(levelIdx), 5);
        if (levelIdx > 7) w.PutBit(false);  // seq_tier: main
        w.Put(15, 4);  // frame_width_bits_minus_1
        w.Put(15, 4);  // frame_height_bits_minus_1
        w.Put(static_cast<uint32_t>((c_.cropW + 1) / 2 * 2 - 1), 16);
        w.Put(static_cast<uint32_t>((c_.cropH + 1) / 2 * 2 - 1), 16);
        w.PutBit(false);  // frame_id_numbers_present_flag
        w.PutBit(false);  // use_128x128_superblock
        w.PutBit(false);  // enable_filter_intra
        w.PutBit(false);  // enable_intra_edge_filter
        w.PutBit(false);  // enable_interintra_compound
        w.PutBit(false);  // enable_masked_compound
        w.PutBit(false);  // enable_warped_motion
        w.PutBit(false);  // enable_dual_filter
        w.PutBit(false);  // enable_order_hint
        w.PutBit(false);  // seq_choose_screen_content_tools
        w.PutBit(false);  // seq_force_screen_content_tools
        w.PutBit(false);  // enable_superres
        w.PutBit(false);  // enable_cdef
        w.PutBit(false);  // enable_restoration
        // color_config
        w.PutBit(c_.bitDepth > 8);  // high_bitdepth
        w.PutBit(false);            // mono_chrome
        const bool described = c_.signal && c_.colourDescription;
        w.PutBit(described);
        if (described) {
            w.Put(static_cast<uint32_t>(c_.primaries), 8);
            w.Put(static_cast<uint32_t>(c_.transfer), 8);
            w.Put(static_cast<uint32_t>(c_.matrix), 8);
        }
        w.PutBit(c_.signal && c_.fullRange);  // color_range
        w.Put(0, 2);      // chroma_sample_position: unknown
        w.PutBit(false);  // separate_uv_delta_q
        w.PutBit(false);  // film_grain_params_present
        w.PutTrailingBits();
        return w.Bytes();
    }

    const CodecConfig c_;
};

}  // namespace

std::unique_ptr<NullStream> MakeAv1NullStream(const CodecConfig& config) { return std::make_unique<Av1Stream>(config); }

}  // namespace mfxsoft
