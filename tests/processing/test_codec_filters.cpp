// Codec nodes on real frames: FFmpeg-made HAP samples (and built HapM, HapA and Hap7
// frames) decoded, converted and encoded to PNG and JPEG in memory; the files read
// back with libpng and TurboJPEG.
#include <gtest/gtest.h>
#include <png.h>
#include <turbojpeg.h>

#include <cmath>
#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "media/block_decoders.h"
#include "media/hap_decoder.h"
#include "media/hap_frame.h"
#include "processing/codec_filters.h"
#include "processing/scale_filter.h"
#include "tests/support/expect_error.h"
#include "tests/support/hap_frame_builder.h"
#include "tests/support/test_movies.h"

using testsupport::Bytes;

namespace {

struct Sample {
    VideoFrame* f = video_frame_new();
    explicit Sample(const Bytes& bytes) {
        video_frame_alloc_data(f, static_cast<uint32_t>(bytes.size()), VideoDataFormat_Compressed);
        if (!bytes.empty()) std::memcpy(f->planes[0], bytes.data(), bytes.size());
        f->frame_number = 12;
    }
    ~Sample() { video_frame_destroy(f); }
};

Bytes movie_sample(const std::string& name) {
    const auto packets = testsupport::read_packet_list(name);
    return testsupport::read_file_bytes(testsupport::fixture_path(name + ".mov"), packets.at(0).offset,
                                        packets.at(0).size);
}

// The picture as the media layer decodes it by itself: textures, then blocks to RGBA.
Bytes reference_rgba(const Bytes& sample, uint32_t codec, uint32_t w, uint32_t h) {
    VideoFrame* tex = video_frame_new();
    const uint32_t formats[6] = {13, 14, 15, 16, 17, 18};
    dxt_frame_alloc(tex, w, h, formats[codec]);
    for (uint32_t t = 0; t < tex->plane_count; ++t) {
        uint32_t used = 0, format = 0;
        EXPECT_EQ(HapDecode(sample.data(), uint32_t(sample.size()), t, hap_decode_callback_serial, nullptr,
                            tex->planes[t], tex->sizes[t], &used, &format),
                  HapResult_No_Error);
    }
    BlockDecoder d;
    BlockDecoder::init(&d, uint16_t(w), uint16_t(h), block_decoder_format_for_hap_codec(codec), 0, 0, 1);
    const uint32_t aw = (w + 3) / 4 * 4, ah = (h + 3) / 4 * 4;
    Bytes all(size_t(aw) * ah * 4);
    BlockDecoder::decode(&d, tex->planes[0], tex->plane_count > 1 ? tex->planes[1] : nullptr, all.data(), aw * 4);
    Bytes rgba(size_t(w) * h * 4);
    for (uint32_t y = 0; y < h; ++y) std::memcpy(&rgba[size_t(y) * w * 4], &all[size_t(y) * aw * 4], size_t(w) * 4);
    video_frame_destroy(tex);
    return rgba;
}

struct PngImage {
    uint32_t width = 0, height = 0;
    int depth = 0, colour_type = -1;
    Bytes pixels;  // rows packed, samples as stored in the file (16-bit big-endian)
};

struct MemoryReader {
    const uint8_t* data;
    size_t size, offset;
};

// An independent reader: libpng's read side with no transforms.
PngImage read_png(const uint8_t* data, size_t size) {
    PngImage img;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemoryReader reader{data, size, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngImage{};
    }
    png_set_read_fn(png, &reader, [](png_structp p, png_bytep out, png_size_t n) {
        MemoryReader* r = static_cast<MemoryReader*>(png_get_io_ptr(p));
        if (r->offset + n > r->size) png_error(p, "short");
        std::memcpy(out, r->data + r->offset, n);
        r->offset += n;
    });
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    img.width = png_get_image_width(png, info);
    img.height = png_get_image_height(png, info);
    img.depth = png_get_bit_depth(png, info);
    img.colour_type = png_get_color_type(png, info);
    const size_t row_bytes = png_get_rowbytes(png, info);
    png_bytepp rows = png_get_rows(png, info);
    for (uint32_t y = 0; y < img.height; ++y) img.pixels.insert(img.pixels.end(), rows[y], rows[y] + row_bytes);
    png_destroy_read_struct(&png, &info, nullptr);
    return img;
}

struct Codec {
    const char* name;
    uint32_t codec;
    Bytes sample;
    uint32_t width, height;
};

std::vector<Codec> codecs() {
    using namespace testsupport;
    std::vector<Codec> list = {
        {"Hap1 (FFmpeg)", HapCodec_Hap1, movie_sample("hap_64x48_c7"), 64, 48},
        {"Hap5 (FFmpeg)", HapCodec_Hap5, movie_sample("hap_alpha_64x48_c7"), 64, 48},
        {"HapY (FFmpeg)", HapCodec_HapY, movie_sample("hap_q_64x48_c7"), 64, 48},
    };
    const uint32_t w = 18, h = 10;  // blocks 5 x 3
    const Bytes ycocg = texture_pattern(5 * 3 * 16, 1), alpha = texture_pattern(5 * 3 * 8, 2);
    Bytes hapm = hap_section(0xAF, ycocg);
    const Bytes alpha_section = hap_section(0xA1, alpha);
    hapm.insert(hapm.end(), alpha_section.begin(), alpha_section.end());
    list.push_back({"HapM (built)", HapCodec_HapM, hap_section(0x0D, hapm), w, h});
    list.push_back({"HapA (built)", HapCodec_HapA, hap_section(0xA1, alpha), w, h});
    list.push_back({"Hap7 (built)", HapCodec_Hap7, hap_section(0xAC, texture_pattern(5 * 3 * 16, 3)), w, h});
    return list;
}

// HAP decode -> DXT decode -> (scale) -> encoder.
FilterGraph* decode_graph(const Codec& c, uint32_t pixel_format, FilterNode* encoder, bool threaded) {
    FilterGraph* g = filter_graph_alloc(3, 1);
    HapDecodeParams hp;
    hp.codec = c.codec, hp.width = c.width, hp.height = c.height, hp.threaded = threaded;
    filter_graph_add_filter(g, create_hap_decode_filter(hp));
    DxtDecodeParams dp;
    dp.codec = c.codec, dp.width = c.width, dp.height = c.height, dp.output_format = pixel_format;
    filter_graph_add_filter(g, create_dxt_decode_filter(dp));
    filter_graph_add_filter(g, encoder);
    return g;
}

}  // namespace

TEST(CodecFilters, EachCodecDecodesAndEncodesToPngEqualToTheBlockDecoders) {
    for (const Codec& c : codecs()) {
        SCOPED_TRACE(c.name);
        const Bytes expected = reference_rgba(c.sample, c.codec, c.width, c.height);
        PngEncodeParams pp;
        pp.channels = 4;
        FilterGraph* g = decode_graph(c, PixelFormat_RGBA8, create_png_encode_filter(pp), c.codec == HapCodec_HapY);
        Sample in(c.sample);
        VideoFrame* frames[] = {in.f};
        for (int run = 0; run < 2; ++run) {  // the node reuses its buffer
            filter_graph_process(g, frames, 1);
            ASSERT_EQ(g->output->data_format, uint32_t(VideoDataFormat_Png));
            EXPECT_EQ(g->output->frame_number, 12u);
            const PngImage img = read_png(g->output->planes[0], g->output->sizes[0]);
            EXPECT_EQ(img.width, c.width);
            EXPECT_EQ(img.height, c.height);
            EXPECT_EQ(img.colour_type, PNG_COLOR_TYPE_RGBA);
            EXPECT_TRUE(img.pixels == expected);
        }
        EXPECT_STREQ(g->error_text, "");
        filter_graph_free(g);
    }
}

TEST(CodecFilters, HapFrameThroughScaleIntoJpeg) {
    const Bytes sample = movie_sample("hap_q_1920x1080_c7");
    const Codec c{"HapY 1080p", HapCodec_HapY, sample, 1920, 1080};
    FilterGraph* g = filter_graph_alloc(4, 1);
    HapDecodeParams hp;
    hp.codec = HapCodec_HapY, hp.width = 1920, hp.height = 1080, hp.threaded = 1;
    filter_graph_add_filter(g, create_hap_decode_filter(hp));
    DxtDecodeParams dp;
    dp.codec = HapCodec_HapY, dp.width = 1920, dp.height = 1080, dp.output_format = PixelFormat_RGBX8;
    filter_graph_add_filter(g, create_dxt_decode_filter(dp));
    ScaleParams sp;
    sp.src_format = PixelFormat_RGBX8, sp.src_width = 1920, sp.src_height = 1080;
    sp.dst_format = PixelFormat_RGBA8, sp.dst_width = 960, sp.dst_height = 540, sp.quality = 1;
    filter_graph_add_filter(g, create_scale_filter(sp));
    JpegEncodeParams jp;
    jp.width = 960, jp.height = 540, jp.quality = 100;
    filter_graph_add_filter(g, create_jpeg_encode_filter(jp));
    Sample in(sample);
    VideoFrame* frames[] = {in.f};
    filter_graph_process(g, frames, 1);
    ASSERT_EQ(g->output->data_format, uint32_t(VideoDataFormat_Jpeg));

    tjhandle d = tjInitDecompress();
    int w = 0, h = 0, subsampling = -1, colourspace = -1;
    ASSERT_EQ(tjDecompressHeader3(d, g->output->planes[0], g->output->sizes[0], &w, &h, &subsampling, &colourspace), 0);
    EXPECT_EQ(w, 960);
    EXPECT_EQ(h, 540);
    EXPECT_EQ(subsampling, TJSAMP_420);
    Bytes decoded(size_t(w) * h * 3);
    ASSERT_EQ(tjDecompress2(d, g->output->planes[0], g->output->sizes[0], decoded.data(), w, 0, h, TJPF_RGB, 0), 0);
    tjDestroy(d);
    // Against the scaled picture that went in. 4:2:0 halves the chroma of the test
    // card's sharp colour edges, so the check is on luma, which JPEG keeps whole.
    const VideoFrame* scaled = filter_graph_output_frame(g, 2);
    auto luma = [](const uint8_t* p) { return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]; };
    double squared = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double e = luma(&decoded[(size_t(y) * w + x) * 3]) -
                             luma(scaled->planes[0] + y * scaled->line_sizes[0] + 4 * x);
            squared += e * e;
        }
    const double psnr = 10.0 * std::log10(255.0 * 255.0 / (squared / (double(w) * h)));
    EXPECT_GT(psnr, 40.0);
    filter_graph_free(g);
}

TEST(CodecFilters, JpegQualityIsClampedAndMatchesTurboJpeg) {
    const uint32_t w = 64, h = 48;
    VideoFrame* pic = video_frame_new();
    video_frame_alloc(pic, w, h, PixelFormat_RGBX8, true);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w * 4; ++x) pic->planes[0][y * pic->line_sizes[0] + x] = uint8_t(x * 3 + y * 7);
    for (auto [asked, used] : {std::pair<uint32_t, int>{0, 1}, {250, 100}, {75, 75}}) {
        JpegEncodeParams jp;
        jp.width = w, jp.height = h, jp.quality = asked;
        FilterNode* node = create_jpeg_encode_filter(jp);
        node->inputs[0] = pic;
        node->process(node);
        tjhandle c = tjInitCompress();
        unsigned char* direct = nullptr;
        unsigned long size = 0;
        ASSERT_EQ(tjCompress2(c, pic->planes[0], int(w), int(pic->line_sizes[0]), int(h), TJPF_RGBX, &direct, &size,
                              TJSAMP_420, used, TJFLAG_FASTDCT),
                  0);
        ASSERT_EQ(node->output->sizes[0], size) << asked;
        EXPECT_EQ(std::memcmp(node->output->planes[0], direct, size), 0) << asked;
        tjFree(direct);
        tjDestroy(c);
        filter_free(node);
    }
    JpegEncodeParams jp;
    jp.width = w, jp.height = h;
    FilterNode* node = create_jpeg_encode_filter(jp);
    pic->pixel_format = PixelFormat_RGBA16;
    node->inputs[0] = pic;
    EXPECT_RUNTIME_ERROR(node->process(node), "Encode Jpeg : unsupported pix fmt");
    pic->pixel_format = PixelFormat_RGBX8;
    pic->width = w + 1;
    EXPECT_RUNTIME_ERROR(node->process(node), "Invalid input resolution jpeg encode");
    pic->width = w;
    filter_free(node);

    // A compression TurboJPEG refuses is an error with its text, never an empty file.
    JpegEncodeParams empty;
    empty.width = 0, empty.height = 0;
    node = create_jpeg_encode_filter(empty);
    pic->width = pic->height = 0;
    node->inputs[0] = pic;
    const std::string error = testsupport::runtime_error_text([&] { node->process(node); });
    EXPECT_EQ(error.rfind("Fail to encode jpeg : ", 0), 0u) << error;
    EXPECT_GT(error.size(), std::string("Fail to encode jpeg : ").size());
    EXPECT_NE(node->output->data_format, uint32_t(VideoDataFormat_Jpeg));
    filter_free(node);
    video_frame_destroy(pic);
}

TEST(CodecFilters, PngLayoutsReadBackExactly) {
    struct Row {
        uint32_t format;
        uint8_t channels, depth;
        int colour_type;
        uint32_t file_bytes_per_pixel;
    };
    const Row rows[] = {
        {PixelFormat_RGBX8, 3, 8, PNG_COLOR_TYPE_RGB, 3},
        {PixelFormat_RGBA8, 4, 8, PNG_COLOR_TYPE_RGBA, 4},
        {PixelFormat_RGBA16, 4, 16, PNG_COLOR_TYPE_RGBA, 8},
        {PixelFormat_RGBX16, 3, 16, PNG_COLOR_TYPE_RGB, 6},
        {PixelFormat_Grey8, 1, 8, PNG_COLOR_TYPE_GRAY, 1},
        {PixelFormat_Grey16, 1, 16, PNG_COLOR_TYPE_GRAY, 2},
    };
    const uint32_t w = 7, h = 3;
    for (uint32_t mode = 0; mode < 3; ++mode)
        for (const Row& r : rows) {
            VideoFrame* pic = video_frame_new();
            video_frame_alloc(pic, w, h, r.format, true);
            const uint32_t bpp = get_pix_descriptor(r.format).bytes_per_pixel[0];
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t i = 0; i < w * bpp; ++i) pic->planes[0][y * pic->line_sizes[0] + i] = uint8_t(i * 13 + y * 101 + 1);
            PngEncodeParams pp;
            pp.channels = r.channels, pp.bit_depth = r.depth, pp.compression_mode = mode;
            FilterNode* node = create_png_encode_filter(pp);
            node->inputs[0] = pic;
            node->process(node);
            const PngImage img = read_png(node->output->planes[0], node->output->sizes[0]);
            ASSERT_EQ(img.colour_type, r.colour_type) << r.format;
            ASSERT_EQ(img.depth, r.depth);
            const uint32_t sample_bytes = r.depth / 8;
            const uint32_t in_samples = bpp / sample_bytes;
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x)
                    for (uint32_t s = 0; s < r.channels; ++s)
                        for (uint32_t b = 0; b < sample_bytes; ++b) {
                            // Little-endian in memory, big-endian in the file.
                            const uint8_t want =
                                pic->planes[0][y * pic->line_sizes[0] + (x * in_samples + s) * sample_bytes + b];
                            const uint8_t got =
                                img.pixels[(size_t(y) * w + x) * r.file_bytes_per_pixel + s * sample_bytes +
                                           (sample_bytes - 1 - b)];
                            ASSERT_EQ(got, want) << "format " << r.format << " at " << x << "," << y;
                        }
            filter_free(node);
            video_frame_destroy(pic);
        }
    // Rows that hold less than the header promises are refused, never read past.
    VideoFrame* pic = video_frame_new();
    video_frame_alloc(pic, w, h, PixelFormat_RGBA8, true);
    PngEncodeParams pp;
    pp.channels = 4, pp.bit_depth = 16;
    FilterNode* node = create_png_encode_filter(pp);
    node->inputs[0] = pic;
    EXPECT_RUNTIME_ERROR(node->process(node), "Invalid input pix fmt png encode");
    filter_free(node);
    video_frame_destroy(pic);
}

TEST(CodecFilters, HapDecodeFaultsAndTextureSelection) {
    const Bytes hap1 = movie_sample("hap_64x48_c7");
    HapDecodeParams hp;
    hp.codec = HapCodec_Hap1, hp.width = 64, hp.height = 48;
    FilterNode* node = create_hap_decode_filter(hp);
    auto run = [&](const Bytes& bytes) {
        Sample s(bytes);
        node->inputs[0] = s.f;
        node->process(node);
    };
    EXPECT_RUNTIME_ERROR(run(Bytes{}), "Decoding error : invalid frame");
    EXPECT_EQ(node->output->status, uint32_t(VideoFrameStatus_Invalid));
    EXPECT_RUNTIME_ERROR(run(Bytes{1, 2, 3}), "Decoding error : corrupt frame (header)");
    EXPECT_TRUE(node->output->status & VideoFrameStatus_DecodeFailed);
    const Bytes two = testsupport::hap_section(
        0x0D, [] {
            Bytes b = testsupport::hap_section(0xAF, testsupport::texture_pattern(16 * 12 * 16, 1));
            const Bytes a = testsupport::hap_section(0xA1, testsupport::texture_pattern(16 * 12 * 8, 2));
            b.insert(b.end(), a.begin(), a.end());
            return b;
        }());
    EXPECT_RUNTIME_ERROR(run(two), "Decoding error : corrupt frame (textures count)");
    EXPECT_RUNTIME_ERROR(run(movie_sample("hap_q_64x48_c7")), "Decoding error : corrupt frame (codec)");
    // A frame whose header is sound but whose snappy chunk is cut short.
    Bytes chunk = testsupport::snappy_compress(testsupport::texture_pattern(16 * 12 * 8, 4));
    chunk.resize(chunk.size() / 2);
    const Bytes truncated =
        testsupport::hap_section(0xCB, testsupport::hap_chunked_payload({testsupport::HapChunkSpec{0x0B, chunk}}));
    EXPECT_RUNTIME_ERROR(run(truncated), "Fail to decode hap frame");
    EXPECT_TRUE(node->output->status & VideoFrameStatus_DecodeFailed);
    run(hap1);  // and the node decodes the next good frame
    EXPECT_EQ(node->output->status, 0u);
    // A texture shorter than the picture is a soft fault, forgotten at the next frame.
    run(testsupport::hap_section(0xAB, testsupport::texture_pattern(100, 5)));
    EXPECT_STREQ(node->error_text, "Corrupt hap frame");
    EXPECT_TRUE(node->output->status & VideoFrameStatus_DecodeFailed);
    run(hap1);
    EXPECT_STREQ(node->error_text, "");
    filter_free(node);

    // Threaded and serial runners give the same textures.
    const Bytes big = movie_sample("hap_1920x1080_c64");
    Bytes textures[2];
    for (int threaded = 0; threaded < 2; ++threaded) {
        HapDecodeParams p;
        p.codec = HapCodec_Hap1, p.width = 1920, p.height = 1080, p.threaded = uint8_t(threaded);
        FilterNode* n = create_hap_decode_filter(p);
        Sample s(big);
        n->inputs[0] = s.f;
        n->process(n);
        textures[threaded].assign(n->output->planes[0], n->output->planes[0] + n->output->sizes[0]);
        filter_free(n);
    }
    EXPECT_TRUE(textures[0] == textures[1]);

    // HapM with the alpha texture only: one RGTC1 plane holding texture 1.
    const std::vector<Codec> list = codecs();
    const Codec& hapm = list[3];
    HapDecodeParams mp;
    mp.codec = HapCodec_HapM, mp.width = hapm.width, mp.height = hapm.height, mp.texture_selection = 2;
    FilterNode* alpha_only = create_hap_decode_filter(mp);
    Sample s(hapm.sample);
    alpha_only->inputs[0] = s.f;
    alpha_only->process(alpha_only);
    EXPECT_EQ(alpha_only->output->data_format, uint32_t(VideoDataFormat_HapA));
    EXPECT_TRUE(Bytes(alpha_only->output->planes[0], alpha_only->output->planes[0] + alpha_only->output->sizes[0]) ==
                testsupport::texture_pattern(5 * 3 * 8, 2));
    filter_free(alpha_only);
    EXPECT_RUNTIME_ERROR(create_hap_decode_filter(HapDecodeParams{6, 4, 4, 0, 0}), "Invalid codec");
}

TEST(CodecFilters, DxtDecodeRefusesTexturesOfAnotherKindOrSize) {
    DxtDecodeParams dp;
    dp.codec = HapCodec_Hap1, dp.width = 5, dp.height = 3;
    FilterNode* node = create_dxt_decode_filter(dp);
    VideoFrame* tex = video_frame_new();
    dxt_frame_alloc(tex, 5, 3, VideoDataFormat_Hap1);
    std::memset(tex->planes[0], 0, tex->sizes[0]);
    node->inputs[0] = tex;
    node->process(node);
    EXPECT_EQ(node->output->width, 5u);
    EXPECT_EQ(node->output->allocated_width, 8u);
    dxt_frame_realloc(tex, 5, 3, VideoDataFormat_Hap5);
    EXPECT_RUNTIME_ERROR(node->process(node), "Invalid data descriptor dxt decode");
    dxt_frame_realloc(tex, 9, 3, VideoDataFormat_Hap1);
    EXPECT_RUNTIME_ERROR(node->process(node), "Invalid input resolution dxt decode");
    filter_free(node);
    video_frame_destroy(tex);
    dp.codec = 6;
    EXPECT_RUNTIME_ERROR(create_dxt_decode_filter(dp), "invalid codec");
}
