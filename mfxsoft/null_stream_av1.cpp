// The null encoder's AV1 stream: a low-overhead OBU stream, one temporal unit
// a picture in decode order (temporal delimiter; before each intra picture
// the sequence header; the record as an ITU-T T.35 metadata OBU; one frame
// OBU). Every frame is a shown key frame of one tile, 64x64 superblocks,
// each block DC-predicted and skipped, so it decodes to mid-grey: the
// pictures' types and order are in the container and the records, not in
// the frames. Sizes that need more than one tile get no frame OBU.
#include <algorithm>
#include <vector>

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

enum ObuType : uint32_t { kSequenceHeader = 1, kTemporalDelimiter = 2, kMetadata = 5, kFrame = 6 };

// The default CDFs of the symbols coded (cumulative, out of 32768).
// Partitions by block size (8x8: 4 symbols, 16x16 to 64x64: 10) and context.
const uint16_t kPartition8[4][4] = {
    {19132, 25510, 30392, 32768}, {13928, 19855, 28540, 32768}, {12522, 23679, 28629, 32768}, {9896, 18783, 25853, 32768}};
const uint16_t kPartition[3][4][10] = {
    {{15597, 20929, 24571, 26706, 27664, 28821, 29601, 30571, 31902, 32768},
     {7925, 11043, 16785, 22470, 23971, 25043, 26651, 28701, 29834, 32768},
     {5414, 13269, 15111, 20488, 22360, 24500, 25537, 26336, 32117, 32768},
     {2662, 6362, 8614, 20860, 23053, 24778, 26436, 27829, 31171, 32768}},
    {{18462, 20920, 23124, 27647, 28227, 29049, 29519, 30178, 31544, 32768},
     {7689, 9060, 12056, 24992, 25660, 26182, 26951, 28041, 29052, 32768},
     {6015, 9009, 10062, 24544, 25409, 26545, 27071, 27526, 32047, 32768},
     {1394, 2208, 2796, 28614, 29061, 29466, 29840, 30185, 31899, 32768}},
    {{20137, 21547, 23078, 29566, 29837, 30261, 30524, 30892, 31724, 32768},
     {6732, 7490, 9497, 27944, 28250, 28515, 28969, 29630, 30104, 32768},
     {5945, 7663, 8348, 28683, 29117, 29749, 30064, 30298, 32238, 32768},
     {870, 1212, 1487, 31198, 31394, 31574, 31743, 31881, 32332, 32768}}};
const uint16_t kSkip[3][2] = {{31671, 32768}, {16515, 32768}, {4576, 32768}};
// Key frame luma mode with DC above and left; chroma mode after DC luma,
// without and with chroma-from-luma (blocks up to 32x32).
const uint16_t kYModeDc[13] = {15588, 17027, 19338, 20218, 20682, 21110, 21825,
                               23244, 24189, 28165, 29093, 30466, 32768};
const uint16_t kUvModeDc[13] = {22631, 24152, 25378, 25661, 25986, 26520, 27055,
                                27923, 28244, 30059, 30941, 31961, 32768};
const uint16_t kUvModeDcCfl[14] = {10407, 11208, 12900, 13181, 13823, 14175, 14899,
                                   15656, 15986, 20086, 20995, 22455, 24212, 32768};

enum Partition { kNone = 0 };

// The tile of one frame: partitions down from each superblock, NONE where a
// block lies inside the frame, SPLIT across its edges.
class TileCoder {
public:
    TileCoder(int miCols, int miRows)
        : miCols_(miCols), miRows_(miRows), sizes_(static_cast<size_t>(miCols) * miRows, 0) {}

    std::vector<uint8_t> Code() {
        for (int r = 0; r < miRows_; r += 16) {
            for (int c = 0; c < miCols_; c += 16) Block(r, c, 4);
        }
        return symbols_.Finish();
    }

private:
    // `log2` in 4x4 units: 1 (8x8) to 4 (64x64).
    void Block(int r, int c, int log2) {
        if (r >= miRows_ || c >= miCols_) return;
        const int half = 1 << (log2 - 1);
        const bool hasRows = r + half < miRows_, hasCols = c + half < miCols_;
        const int above = r > 0 && SizeAt(r - 1, c) < log2 ? 1 : 0;
        const int left = c > 0 && SizeAt(r, c - 1) < log2 ? 1 : 0;
        const int ctx = left * 2 + above;
        const uint16_t* cdf = log2 == 1 ? kPartition8[ctx] : kPartition[log2 - 2][ctx];
        if (hasRows && hasCols) {
            symbols_.Encode(kNone, cdf, log2 == 1 ? 4 : 10);
            Leaf(r, c, log2);
            return;
        }
        if (hasCols || hasRows) {
            // split_or_horz / split_or_vert: a bool against the partitions' split-like mass.
            auto p = [cdf](int k) { return static_cast<uint32_t>(cdf[k] - (k > 0 ? cdf[k - 1] : 0)); };
            const uint32_t mass = hasCols ? p(2) + p(3) + p(4) + p(6) + p(7) + p(9) : p(1) + p(3) + p(4) + p(5) + p(6) + p(8);
            const uint16_t splitCdf[2] = {static_cast<uint16_t>(32768 - mass), 32768};
            symbols_.Encode(1, splitCdf, 2);  // SPLIT
        }
        // Otherwise SPLIT is implied.
        Block(r, c, log2 - 1);
        Block(r, c + half, log2 - 1);
        Block(r + half, c, log2 - 1);
        Block(r + half, c + half, log2 - 1);
    }

    void Leaf(int r, int c, int log2) {
        const int skipCtx = (r > 0 ? 1 : 0) + (c > 0 ? 1 : 0);  // every block is skipped
        symbols_.Encode(1, kSkip[skipCtx], 2);
        symbols_.Encode(0, kYModeDc, 13);
        if (log2 <= 3) {
            symbols_.Encode(0, kUvModeDcCfl, 14);
        } else {
            symbols_.Encode(0, kUvModeDc, 13);
        }
        const int n = 1 << log2;
        for (int y = r; y < std::min(r + n, miRows_); ++y) {
            for (int x = c; x < std::min(c + n, miCols_); ++x) {
                sizes_[static_cast<size_t>(y) * miCols_ + x] = static_cast<uint8_t>(log2);
            }
        }
    }

    int SizeAt(int r, int c) const { return sizes_[static_cast<size_t>(r) * miCols_ + c]; }

    const int miCols_, miRows_;
    std::vector<uint8_t> sizes_;  // log2 size (4x4 units) of the block over each 4x4 unit
    SymbolWriter symbols_;
};

// The smallest k with block << k >= target, as AV1's tile sizing counts.
int TileLog2(int block, int target) {
    int k = 0;
    while ((block << k) < target) ++k;
    return k;
}

void AppendObu(std::vector<uint8_t>* out, uint32_t type, const std::vector<uint8_t>& payload) {
    out->push_back(static_cast<uint8_t>(type << 3 | 0x02));  // obu_has_size_field
    AppendLeb128(out, payload.size());
    out->insert(out->end(), payload.begin(), payload.end());
}

class Av1Stream final : public NullStream {
public:
    explicit Av1Stream(const CodecConfig& c)
        : c_(c), width_((c.cropW + 1) / 2 * 2), height_((c.cropH + 1) / 2 * 2) {
        miCols_ = 2 * ((width_ + 7) >> 3);
        miRows_ = 2 * ((height_ + 7) >> 3);
        sbCols_ = (miCols_ + 15) >> 4;
        sbRows_ = (miRows_ + 15) >> 4;
        // One tile spans at most 64 superblocks across and 2304 in all.
        oneTile_ = TileLog2(64, sbCols_) == 0 && TileLog2(2304, sbCols_ * sbRows_) == 0;
    }

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
        if (oneTile_) AppendObu(&out, kFrame, Frame());
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
        w.Put(static_cast<uint32_t>(width_ - 1), 16);
        w.Put(static_cast<uint32_t>(height_ - 1), 16);
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

    // A shown key frame: its uncompressed header, then the one tile.
    std::vector<uint8_t> Frame() const {
        BitWriter w;
        w.PutBit(false);  // show_existing_frame
        w.Put(0, 2);      // frame_type: KEY_FRAME
        w.PutBit(true);   // show_frame
        w.PutBit(true);   // disable_cdf_update: the default CDFs throughout
        w.PutBit(false);  // frame_size_override_flag: the sequence's size
        w.PutBit(false);  // render_and_frame_size_different
        // tile_info: uniform spacing, the fewest tiles (one).
        w.PutBit(true);
        if (TileLog2(1, std::min(sbCols_, 64)) > 0) w.PutBit(false);  // increment_tile_cols_log2
        if (TileLog2(1, std::min(sbRows_, 64)) > 0) w.PutBit(false);  // increment_tile_rows_log2
        w.Put(100, 8);    // base_q_idx: not lossless
        w.PutBit(false);  // DeltaQYDc
        w.PutBit(false);  // DeltaQUDc
        w.PutBit(false);  // DeltaQUAc
        w.PutBit(false);  // using_qmatrix
        w.PutBit(false);  // segmentation_enabled
        w.PutBit(false);  // delta_q_present
        w.Put(0, 6);      // loop_filter_level[0]
        w.Put(0, 6);      // loop_filter_level[1]
        w.Put(0, 3);      // loop_filter_sharpness
        w.PutBit(false);  // loop_filter_delta_enabled
        w.PutBit(false);  // tx_mode_select: the largest transforms
        w.PutBit(false);  // reduced_tx_set
        w.AlignZero();    // byte_alignment() before the tile group
        std::vector<uint8_t> frame = w.Bytes();
        const std::vector<uint8_t> tile = TileCoder(miCols_, miRows_).Code();
        frame.insert(frame.end(), tile.begin(), tile.end());
        return frame;
    }

    const CodecConfig c_;
    const int width_, height_;  // the crop rounded up to even
    int miCols_ = 0, miRows_ = 0, sbCols_ = 0, sbRows_ = 0;
    bool oneTile_ = true;
};

}  // namespace

std::unique_ptr<NullStream> MakeAv1NullStream(const CodecConfig& config) { return std::make_unique<Av1Stream>(config); }

}  // namespace mfxsoft
