// The snapshot conversion tree: the sizes and alpha decisions it derives, the nodes
// of each branch, and the encoded file of real movie samples decoded back against
// the expected view pixels (backgrounds, alpha modes, crop box, fit and pad, guides).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "media/mov_file.h"
#include "media/video_frame.h"
#include "processing/snapshot_tree.h"
#include "test_snapshot_support.h"
#include "tests/support/expect_error.h"

namespace {

using snaptest::Image;

uint32_t code(const char* c) {
    return uint32_t(uint8_t(c[0])) << 24 | uint32_t(uint8_t(c[1])) << 16 | uint32_t(uint8_t(c[2])) << 8 |
           uint32_t(uint8_t(c[3]));
}

SnapshotParams source(const char* fourcc, uint32_t w, uint32_t h) {
    SnapshotParams p;
    snapshot_set_source(&p, w, h, code(fourcc), 0, 0);
    return p;
}

struct Tree {
    VideoGraphTree* tree = nullptr;
    explicit Tree(SnapshotParams* p) : tree(snapshot_graph_build(p)) {}
    ~Tree() { video_graph_tree_free(&tree); }
    std::vector<std::vector<uint32_t>> types() const {
        std::vector<std::vector<uint32_t>> out;
        for (uint32_t b = 0; b < tree->branch_count; ++b) {
            out.emplace_back();
            const FilterGraph* g = tree->branches[b]->graph;
            for (uint32_t i = 0; i < g->count; ++i) out.back().push_back(g->nodes[i]->type);
        }
        return out;
    }
    Image run(const std::string& movie, uint32_t frame = 1) {
        VideoFrame* sample = snaptest::read_sample(movie, frame);
        snapshot_graph_run(tree, sample);
        const VideoFrame* out = snapshot_output_frame(tree);
        Image image = out->data_format == VideoDataFormat_Png ? snaptest::decode_png(out->planes[0], out->sizes[0])
                                                              : snaptest::decode_jpeg(out->planes[0], out->sizes[0]);
        video_frame_free(&sample);
        return image;
    }
};

TEST(SnapshotParams, FittedAndFinalSizes) {
    struct Case {
        uint32_t w, h, mode, tw, th, fitted_w, fitted_h, final_w, final_h;
    };
    const Case cases[] = {
        {1920, 800, 2, 1920, 1080, 1920, 800, 1920, 1080},  // letterboxed, then padded
        {1000, 1000, 1, 1920, 1080, 1080, 1080, 1080, 1080},
        {1920, 1080, 1, 1280, 720, 1280, 720, 1280, 720},  // same aspect
        {640, 480, 0, 1920, 1080, 640, 480, 640, 480},     // same as source
        {64, 48, 7, 1920, 1080, 64, 48, 64, 48},           // an unknown mode keeps the source
        {65535, 4, 1, 4, 4, 4, 1, 4, 1},                   // a thin picture keeps one row
    };
    for (const Case& c : cases) {
        SnapshotParams p = source("Hap1", c.w, c.h);
        snapshot_set_scale(&p, c.tw, c.th, c.mode, 1);
        snapshot_prepare_params(&p);
        EXPECT_EQ(p.fitted_width, c.fitted_w) << c.w << "x" << c.h << " mode " << c.mode;
        EXPECT_EQ(p.fitted_height, c.fitted_h) << c.w << "x" << c.h << " mode " << c.mode;
        EXPECT_EQ(p.final_width, c.final_w);
        EXPECT_EQ(p.final_height, c.final_h);
    }
}

TEST(SnapshotParams, SourceAlphaAndOutputAlpha) {
    struct Case {
        const char* code;
        uint8_t opaque;
        bool alpha;
    };
    for (const Case& c : {Case{"Hap1", 0, false}, Case{"Hap5", 0, true}, Case{"HapY", 0, false},
                          Case{"HapM", 0, true}, Case{"HapA", 0, false}, Case{"Hap7", 0, true},
                          Case{"Hap7", 1, false}, Case{"apch", 0, false}, Case{"ap4h", 0, true}})
        EXPECT_EQ(snapshot_source_has_alpha(code(c.code), 0, c.opaque), c.alpha)
            << c.code;
    EXPECT_RUNTIME_ERROR(snapshot_source_has_alpha(code("abcd"), 0, 0), "Unknown src format");
    EXPECT_RUNTIME_ERROR(snapshot_source_has_alpha(code("DXD3"), code("XXXX"), 0), "Unknown subcodec dxv");
    EXPECT_TRUE(snapshot_source_has_alpha(code("DXD3"), code("DXT5"), 0));

    SnapshotParams png = source("Hap5", 64, 48);
    snapshot_set_png(&png);
    snapshot_set_background(&png, SnapshotBg_White, 0, {}, {});
    snapshot_prepare_params(&png);
    EXPECT_EQ(png.keep_alpha, 1);
    EXPECT_EQ(png.background, uint32_t(SnapshotBg_KeepAlpha));  // the PNG keeps the transparency
    SnapshotParams bad = png;
    bad.output_format = 14;
    EXPECT_RUNTIME_ERROR(snapshot_prepare_params(&bad), "Unknown dst format");
}

TEST(SnapshotTree, NodesOfEachBranch) {
    struct Case {
        const char* code;
        bool png;
        uint32_t alpha_mode, background;
        std::vector<std::vector<uint32_t>> types;
    };
    const Case cases[] = {
        {"Hap1", false, 0, 0, {{0}, {25, 26}, {36}}},
        // PNG of an alpha movie: no merge; premultiplied view colours are un-premultiplied.
        {"Hap5", true, 0, 0, {{0}, {25, 26}, {1, 35}}},
        {"Hap5", true, 1, 0, {{0}, {25, 26}, {35}}},
        // JPEG over black of premultiplied colours: no merge, only alpha dropped.
        {"Hap5", false, 0, 0, {{0}, {25, 26}, {1, 36}}},
        {"Hap5", false, 0, 1, {{0}, {25, 26, 6}, {36}}},
        {"HapM", false, 1, 0, {{0}, {25, 26, 6}, {36}}},
    };
    for (const Case& c : cases) {
        SnapshotParams p = source(c.code, 1920, 1080);
        if (c.png)
            snapshot_set_png(&p);
        else
            snapshot_set_jpeg(&p, 90);
        snapshot_set_background(&p, c.background, c.alpha_mode, {}, {});
        Tree tree(&p);
        EXPECT_EQ(tree.types(), c.types) << c.code << (c.png ? " png" : " jpeg") << " alpha " << c.alpha_mode
                                         << " bg " << c.background;
    }
}

TEST(SnapshotTree, RefusesBadCropBoxesAndHugeTargets) {
    SnapshotParams p = source("Hap1", 64, 48);
    p.crop_box = 1;
    p.canvas_width = 70, p.canvas_height = 60, p.canvas_x = 8, p.canvas_y = 0;
    EXPECT_RUNTIME_ERROR(snapshot_graph_build(&p), "Invalid crop box horizontal data");
    p.canvas_width = 80, p.canvas_y = 13;
    EXPECT_RUNTIME_ERROR(snapshot_graph_build(&p), "Invalid crop box vertical data");

    // 32768 x 32768 RGBA8 is 2^32 bytes: one byte too many for a 32-bit plane size.
    SnapshotParams huge = source("Hap1", 64, 64);
    snapshot_set_scale(&huge, 32768, 32768, 1, 1);
    EXPECT_RUNTIME_ERROR(snapshot_graph_build(&huge), "Snapshot size too large");
    snapshot_set_scale(&huge, 16384, 16384, 1, 1);
    snapshot_prepare_params(&huge);
    EXPECT_LE(snapshot_largest_plane_bytes(&huge), kSnapshotMaxPlaneBytes);

    SnapshotParams other = source("apch", 64, 48);
    EXPECT_RUNTIME_ERROR(snapshot_graph_build(&other), "Unknown src format");
}

// Mean absolute difference of the luma of two pictures (JPEG keeps luma at full size).
double luma_error(const Image& a, const std::vector<std::array<double, 3>>& expected) {
    double sum = 0;
    for (uint32_t i = 0; i < a.width * a.height; ++i) {
        const uint8_t* p = &a.rgba[size_t(i) * 4];
        const auto& e = expected[i];
        const double la = 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
        const double le = 0.299 * e[0] + 0.587 * e[1] + 0.114 * e[2];
        sum += std::fabs(la - le);
    }
    return sum / (a.width * a.height);
}

// The view's pixels: decoded colours (premultiplied or straight) over a flat background.
std::vector<std::array<double, 3>> over(const Image& decoded, uint32_t alpha_mode, const double bg[3]) {
    std::vector<std::array<double, 3>> out(size_t(decoded.width) * decoded.height);
    for (size_t i = 0; i < out.size(); ++i) {
        const uint8_t* p = &decoded.rgba[i * 4];
        const double a = p[3] / 255.0;
        for (int c = 0; c < 3; ++c)
            out[i][c] = std::min(255.0, (alpha_mode == 0 ? p[c] : p[c] * a) + bg[c] * (1.0 - a));
    }
    return out;
}

TEST(SnapshotTree, JpegOfAnAlphaMovieOverEachBackground) {
    const std::string movie = snaptest::fixture("snap_hapa.mov");
    const Image decoded = snaptest::reference_decode(movie, 1);
    struct Case {
        uint32_t alpha_mode, background;
        double bg[3];
    };
    const Case cases[] = {
        {0, SnapshotBg_Black, {0, 0, 0}},  // premultiplied colours are the picture over black
        {1, SnapshotBg_Black, {0, 0, 0}},
        {0, SnapshotBg_White, {255, 255, 255}},
        {1, SnapshotBg_White, {255, 255, 255}},
        {1, SnapshotBg_CustomColour, {51, 102, 204}},
    };
    for (const Case& c : cases) {
        SnapshotParams p = source("Hap5", decoded.width, decoded.height);
        snapshot_set_jpeg(&p, 100);
        RgbaF colour{float(c.bg[0] / 255), float(c.bg[1] / 255), float(c.bg[2] / 255), 1};
        snapshot_set_background(&p, c.background, c.alpha_mode, colour, colour);
        Tree tree(&p);
        const Image jpeg = tree.run(movie);
        ASSERT_EQ(jpeg.width, decoded.width);
        ASSERT_EQ(jpeg.height, decoded.height);
        const double error = luma_error(jpeg, over(decoded, c.alpha_mode, c.bg));
        EXPECT_LT(error, 2.5) << "alpha " << c.alpha_mode << " bg " << c.background;
        if (c.alpha_mode == 0 && c.background == SnapshotBg_Black) {
            // A second premultiplication would darken every partly transparent pixel.
            EXPECT_LT(error * 4, luma_error(jpeg, over(decoded, 1, c.bg)));
        }
    }
}

TEST(SnapshotTree, PngKeepsStraightAlpha) {
    const std::string movie = snaptest::fixture("snap_hapa.mov");
    const Image decoded = snaptest::reference_decode(movie, 1);
    for (uint32_t alpha_mode : {0u, 1u}) {
        SnapshotParams p = source("Hap5", decoded.width, decoded.height);
        snapshot_set_png(&p);
        snapshot_set_background(&p, SnapshotBg_White, alpha_mode, {}, {});
        Tree tree(&p);
        const Image png = tree.run(movie);
        ASSERT_EQ(png.channels, 4u);
        int worst = 0;
        for (size_t i = 0; i < png.rgba.size(); i += 4) {
            const uint8_t* d = &decoded.rgba[i];
            ASSERT_EQ(png.rgba[i + 3], d[3]);
            for (int c = 0; c < 3; ++c) {
                int expected = d[c];
                if (alpha_mode == 0)
                    expected = d[3] == 0 ? 0 : std::min(255, int(std::lround(d[c] * 255.0 / d[3])));
                worst = std::max(worst, std::abs(int(png.rgba[i + c]) - expected));
            }
        }
        EXPECT_LE(worst, alpha_mode == 1 ? 0 : 1) << "alpha mode " << alpha_mode;
    }
}

TEST(SnapshotTree, OpaqueCodecsFitPadAndGuides) {
    for (const char* name : {"snap_hap.mov", "snap_hapq.mov"}) {
        const std::string movie = snaptest::fixture(name);
        const Image decoded = snaptest::reference_decode(movie, 1);
        // Fit and pad 64x48 into 64x64: 8 black rows above and below.
        SnapshotParams p = source(std::string(name) == "snap_hap.mov" ? "Hap1" : "HapY", 64, 48);
        snapshot_set_png(&p);
        snapshot_set_scale(&p, 64, 64, 2, 1);
        RgbaF red{1, 0, 0, 1}, green{0, 1, 0, 1};
        snapshot_set_safe_area(&p, red, green);
        Tree tree(&p);
        const Image png = tree.run(movie);
        ASSERT_EQ(png.width, 64u);
        ASSERT_EQ(png.height, 64u);
        EXPECT_EQ(png.channels, 3u);
        for (uint32_t y : {0u, 7u, 56u, 63u}) {
            const uint8_t* px = png.at(20, y);
            EXPECT_EQ(px[0] + px[1] + px[2], 0) << name << " row " << y;
        }
        // The picture, one row in: the decoded pixels unchanged (lossless PNG, no scale).
        for (uint32_t x = 20; x < 40; ++x)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(png.at(x, 8 + 20)[c], decoded.at(x, 20)[c]) << name;
        // The safe-area outlines at 5 % and 10 % of the padded picture.
        const uint8_t* action = png.at(uint32_t(std::lround(64 * 0.05)), 32);
        const uint8_t* title = png.at(uint32_t(std::lround(64 * 0.1)), 32);
        EXPECT_EQ((std::array<int, 3>{action[0], action[1], action[2]}), (std::array<int, 3>{255, 0, 0})) << name;
        EXPECT_EQ((std::array<int, 3>{title[0], title[1], title[2]}), (std::array<int, 3>{0, 255, 0})) << name;
    }
}

TEST(SnapshotTree, CropBoxPlacesThePictureInTheDisplayWindow) {
    const std::string movie =
        snaptest::with_display_window(snaptest::fixture("snap_hap.mov"), "snap_window.mov", 80, 64, 8, 10);
    const Image decoded = snaptest::reference_decode(movie, 1);
    SnapshotParams p = source("Hap1", 64, 48);
    snapshot_set_png(&p);
    p.crop_box = 1;
    p.canvas_width = 80, p.canvas_height = 64, p.canvas_x = 8, p.canvas_y = 10;
    RgbaF yellow{1, 1, 0, 1};
    snapshot_set_video_area(&p, yellow);
    Tree tree(&p);
    EXPECT_EQ(tree.types()[1], (std::vector<uint32_t>{25, 26, 4}));
    const Image png = tree.run(movie);
    ASSERT_EQ(png.width, 80u);
    ASSERT_EQ(png.height, 64u);
    // Black margins, the outline on the picture's edge, the picture inside it.
    EXPECT_EQ(png.at(2, 2)[0] + png.at(2, 2)[1] + png.at(2, 2)[2], 0);
    EXPECT_EQ(png.at(78, 62)[0] + png.at(78, 62)[1] + png.at(78, 62)[2], 0);
    for (auto [x, y] : {std::pair{8u, 30u}, {71u, 30u}, {40u, 10u}, {40u, 57u}}) {
        const uint8_t* px = png.at(x, y);
        EXPECT_EQ((std::array<int, 3>{px[0], px[1], px[2]}), (std::array<int, 3>{255, 255, 0})) << x << "," << y;
    }
    for (int c = 0; c < 3; ++c) EXPECT_EQ(png.at(8 + 30, 10 + 20)[c], decoded.at(30, 20)[c]);
}

}  // namespace
