#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "media/video_frame.h"
#include "tests/support/expect_error.h"

namespace {

struct FrameGuard {
    VideoFrame* frame = video_frame_new();
    ~FrameGuard() { video_frame_free(&frame); }
    VideoFrame* operator->() { return frame; }
};

bool aligned64(const void* p) { return reinterpret_cast<uintptr_t>(p) % 64 == 0; }

}  // namespace

TEST(VideoFrame, NewFrameHasTheDefaults) {
    FrameGuard f;
    EXPECT_EQ(f->status, 0u);
    EXPECT_EQ(f->is_pixel, 1);
    EXPECT_EQ(f->data_format, uint32_t(VideoDataFormat_Pixels));
    EXPECT_EQ(f->pixel_format, uint32_t(PixelFormat_Undefined));
    EXPECT_EQ(f->plane_count, 0u);
    EXPECT_EQ(f->planes[0], nullptr);
    EXPECT_EQ(f->not_owned, 0);
    EXPECT_EQ(f->shared_word.load(), 0u);
}

TEST(VideoFrame, TextureFrameSizesPerFormat) {
    FrameGuard f;
    dxt_frame_alloc(f.frame, 1920, 1080, VideoDataFormat_Hap5);
    EXPECT_EQ(f->plane_count, 1u);
    EXPECT_EQ(f->line_sizes[0], 7680u);
    EXPECT_EQ(f->sizes[0], 2073600u);
    EXPECT_EQ(f->capacities[0], 2073600u);
    EXPECT_EQ(f->is_pixel, 0);

    FrameGuard m;
    dxt_frame_alloc(m.frame, 1920, 1080, VideoDataFormat_HapM);
    ASSERT_EQ(m->plane_count, 2u);
    EXPECT_EQ(m->sizes[0], 2073600u);
    EXPECT_EQ(m->sizes[1], 1036800u);
    EXPECT_EQ(m->line_sizes[0], 7680u);
    EXPECT_EQ(m->line_sizes[1], 3840u);
    EXPECT_EQ(m->block_bytes[0], 16);
    EXPECT_EQ(m->block_bytes[1], 8);
    EXPECT_TRUE(aligned64(m->planes[0]) && aligned64(m->planes[1]));

    FrameGuard d;
    dxt_frame_alloc(d.frame, 1918, 1078, VideoDataFormat_Hap1);
    EXPECT_EQ(d->sizes[0], 1036800u);
    EXPECT_EQ(d->allocated_width, 1920u);
    EXPECT_EQ(d->allocated_height, 1080u);
    EXPECT_EQ(d->width, 1918u);
    EXPECT_EQ(d->height, 1078u);
}

TEST(VideoFrame, OnePixelTextureHoldsOneBlock) {
    const std::pair<uint32_t, uint32_t> cases[] = {{VideoDataFormat_Hap1, 8},  {VideoDataFormat_Hap5, 16},
                                                   {VideoDataFormat_HapY, 16}, {VideoDataFormat_HapA, 8},
                                                   {VideoDataFormat_Hap7, 16}};
    for (auto [format, bytes] : cases) {
        FrameGuard f;
        dxt_frame_alloc(f.frame, 1, 1, format);
        EXPECT_EQ(f->sizes[0], bytes) << "format " << format;
    }
}

TEST(VideoFrame, TextureFrameRefusesBadFormatAndWrappingSizes) {
    FrameGuard f;
    EXPECT_RUNTIME_ERROR(dxt_frame_alloc(f.frame, 4, 4, 12), "DXT frame : invalid dxt codec");
    EXPECT_RUNTIME_ERROR(dxt_frame_alloc(f.frame, 4, 4, 19), "DXT frame : invalid dxt codec");
    // 65535 x 65535 in a 16-byte codec is 2^32 bytes: refused, never a 0-byte plane.
    EXPECT_THROW(dxt_frame_alloc(f.frame, 65535, 65535, VideoDataFormat_Hap7), std::runtime_error);
    EXPECT_EQ(f->planes[0], nullptr);
    FrameGuard p;
    EXPECT_THROW(video_frame_alloc(p.frame, 20000, 20000, PixelFormat_RGBA32F, true), std::runtime_error);
    EXPECT_EQ(p->planes[0], nullptr);
}

TEST(VideoFrame, BlockBytesPerCodec) {
    EXPECT_EQ(dxt_codec_block_bytes(DxtCodec_DXT1), 8u);
    EXPECT_EQ(dxt_codec_block_bytes(DxtCodec_DXT5), 16u);
    EXPECT_EQ(dxt_codec_block_bytes(DxtCodec_RGTC1), 8u);
    EXPECT_EQ(dxt_codec_block_bytes(DxtCodec_BC7), 16u);
    EXPECT_RUNTIME_ERROR(dxt_codec_block_bytes(4), "Unknown dxt codec");
    EXPECT_EQ(align_up4(0), 0u);
    EXPECT_EQ(align_up4(1), 4u);
    EXPECT_EQ(align_up4(1080), 1080u);
    EXPECT_EQ(align_up4(1078), 1080u);
}

TEST(VideoFrame, PackedYuvLayouts) {
    FrameGuard u;
    video_frame_alloc(u.frame, 1, 2, PixelFormat_UYVY, false);
    EXPECT_EQ(u->line_sizes[0], 4u);
    EXPECT_EQ(u->sizes[0], 8u);
    FrameGuard ua;
    video_frame_alloc(ua.frame, 1, 2, PixelFormat_UYVY, true);
    EXPECT_EQ(ua->line_sizes[0], 64u);

    FrameGuard v;
    video_frame_alloc(v.frame, 7, 3, PixelFormat_V210, false);
    EXPECT_EQ(v->line_sizes[0], 128u);
    EXPECT_EQ(v->sizes[0], 384u);

    FrameGuard a;
    video_frame_alloc(a.frame, 10, 2, PixelFormat_UYVYA, true);
    ASSERT_EQ(a->plane_count, 2u);
    EXPECT_EQ(a->planes[1], a->planes[0] + 128);
    EXPECT_EQ(a->capacities[0], 128u);
    EXPECT_EQ(a->capacities[1], 128u);
    std::memset(a->planes[0], 1, 256);  // the one block is 256 bytes (ASan checks)
}

TEST(VideoFrame, PlanarLayoutsWithSubsampling) {
    FrameGuard f;
    video_frame_alloc(f.frame, 5, 3, PixelFormat_YUV420, false);
    ASSERT_EQ(f->plane_count, 3u);
    EXPECT_EQ(f->line_sizes[0], 5u);
    EXPECT_EQ(f->sizes[0], 15u);
    EXPECT_EQ(f->line_sizes[1], 3u);
    EXPECT_EQ(f->sizes[1], 6u);
    EXPECT_EQ(f->sizes[2], 6u);

    FrameGuard g;
    video_frame_alloc(g.frame, 100, 10, PixelFormat_Planar_RGBA16, true);
    ASSERT_EQ(g->plane_count, 4u);
    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(g->line_sizes[p], 256u);
        EXPECT_TRUE(aligned64(g->planes[p]));
    }
}

TEST(VideoFrame, DescriptorsOfSpecialFormats) {
    const PixDescriptor d = get_pix_descriptor(PixelFormat_YUVA422);
    EXPECT_EQ(d.plane_count, 4);
    EXPECT_EQ(d.horizontal_subsampling[1], 2u);
    EXPECT_EQ(d.vertical_subsampling[1], 2u);
    EXPECT_EQ(d.vertical_subsampling[3], 1u);
    EXPECT_EQ(d.flags, 0x14Au);
    const PixDescriptor ua = get_pix_descriptor(PixelFormat_UYVYA);
    EXPECT_EQ(ua.bytes_per_pixel[0], 4);
    EXPECT_EQ(ua.bytes_per_pixel[1], 1);
    EXPECT_EQ(ua.bit_depth[1], 0);
    EXPECT_RUNTIME_ERROR(get_pix_descriptor(39), "Can't get pix descriptor : Unknown pixfmt");
    const PixDescriptor beyond = get_pix_descriptor(40);
    EXPECT_EQ(beyond.plane_count, 1);
    EXPECT_EQ(beyond.flags, 0u);
    EXPECT_EQ(beyond.bytes_per_pixel[0], 0);
    FrameGuard f;
    EXPECT_THROW(video_frame_alloc(f.frame, 4, 4, PixelFormat_Undefined, false), std::runtime_error);
}

TEST(VideoFrame, RoundResolution) {
    FrameGuard f;
    video_frame_alloc_round_resolution(f.frame, 1918, 1078, PixelFormat_RGBA8, true, 1920, 1080);
    EXPECT_EQ(f->width, 1918u);
    EXPECT_EQ(f->allocated_width, 1920u);
    EXPECT_EQ(f->line_sizes[0], 7680u);
    FrameGuard g;
    EXPECT_RUNTIME_ERROR(video_frame_alloc_round_resolution(g.frame, 1922, 1080, 1, true, 1920, 1080), "Invalid round resolution");
}

TEST(VideoFrame, DataHolderOnlyGrows) {
    FrameGuard f;
    f->status = 6;
    f->frame_number = 9;
    video_frame_alloc_data(f.frame, 200, VideoDataFormat_Compressed);
    uint8_t* first = f->planes[0];
    EXPECT_EQ(f->capacities[0], 264u);
    video_frame_alloc_data(f.frame, 100, VideoDataFormat_Compressed);
    EXPECT_EQ(f->planes[0], first);
    EXPECT_EQ(f->capacities[0], 264u);
    EXPECT_EQ(f->sizes[0], 100u);
    EXPECT_EQ(f->frame_number, 0u);
    EXPECT_EQ(f->status, 0u);
    video_frame_alloc_data(f.frame, 1000, VideoDataFormat_Png);
    EXPECT_EQ(f->capacities[0], 1064u);
    EXPECT_EQ(f->data_format, uint32_t(VideoDataFormat_Png));
    EXPECT_TRUE(aligned64(f->planes[0]));
    // The largest 32-bit size cannot take its 64 extra bytes.
    EXPECT_THROW(video_frame_alloc_data(f.frame, 0xFFFFFFF0u, 0), std::runtime_error);
}

TEST(VideoFrame, DataHolderNeverFreesForeignMemory) {
    std::vector<uint8_t> foreign(64, 7);
    FrameGuard f;
    video_frame_wrap_data(f.frame, foreign.data(), 64, VideoDataFormat_Compressed);
    EXPECT_EQ(f->not_owned, 1);
    video_frame_alloc_data(f.frame, 16, VideoDataFormat_Compressed);  // ASan: no free of `foreign`
    EXPECT_NE(f->planes[0], foreign.data());
    EXPECT_EQ(f->not_owned, 0);
    EXPECT_EQ(foreign[0], 7);

    FrameGuard t;  // a texture frame turned into a data holder releases its second plane
    dxt_frame_alloc(t.frame, 64, 64, VideoDataFormat_HapM);
    video_frame_alloc_data(t.frame, 100, VideoDataFormat_Compressed);
    EXPECT_EQ(t->planes[1], nullptr);
    EXPECT_EQ(t->plane_count, 1u);  // LeakSanitizer: the alpha plane was freed
}

TEST(VideoFrame, TextureReallocKeepsPlanesOnlyWhenNothingChanges) {
    FrameGuard f;
    dxt_frame_realloc(f.frame, 640, 360, VideoDataFormat_HapY);
    uint8_t* planes = f->planes[0];
    dxt_frame_realloc(f.frame, 640, 360, VideoDataFormat_HapY);
    EXPECT_EQ(f->planes[0], planes);
    dxt_frame_realloc(f.frame, 640, 360, VideoDataFormat_HapM);
    EXPECT_EQ(f->plane_count, 2u);
    EXPECT_EQ(f->sizes[0], 640u * 360u);

    // A reference to someone's texture must never be written through.
    FrameGuard r;
    video_frame_ref(r.frame, f.frame);
    dxt_frame_realloc(r.frame, 640, 360, VideoDataFormat_HapM);
    EXPECT_NE(r->planes[0], f->planes[0]);
    EXPECT_EQ(r->not_owned, 0);
}

TEST(VideoFrame, CopyWithEqualLinesCopiesTheSmallerSize) {
    FrameGuard a, b;
    video_frame_alloc_data(a.frame, 100, 0);
    video_frame_alloc_data(b.frame, 40, 0);
    std::memset(a->planes[0], 0x11, 100);
    std::memset(b->planes[0], 0x22, 40);
    a->frame_number = 42;
    a->metadata[3] = 77;
    video_frame_copy(a.frame, b.frame);
    EXPECT_EQ(a->planes[0][39], 0x22);
    EXPECT_EQ(a->planes[0][40], 0x11);
    EXPECT_EQ(a->sizes[0], 100u);  // the destination keeps its own sizes
    EXPECT_EQ(a->frame_number, 0u);
    EXPECT_EQ(a->metadata[3], 0u);

    FrameGuard empty;
    video_frame_alloc_data(empty.frame, 0, 0);
    testing::internal::CaptureStdout();
    video_frame_copy(a.frame, empty.frame);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "WARN : Can't copy data for plane : 0 (size src : 0 ; size dst : 100)\n");
}

TEST(VideoFrame, CopyAcrossLineSizesStaysInsideTheDestination) {
    FrameGuard src, dst;
    video_frame_alloc(src.frame, 30, 40, PixelFormat_YUV420, false);  // lines 30, 15, 15
    video_frame_alloc(dst.frame, 30, 10, PixelFormat_YUV420, true);   // lines 64, shorter
    for (int p = 0; p < 3; ++p)
        for (uint32_t i = 0; i < src->sizes[p]; ++i) src->planes[p][i] = static_cast<uint8_t>(i % 251);
    video_frame_copy(dst.frame, src.frame);  // ASan: must not write past 10 rows
    EXPECT_EQ(dst->planes[0][64 * 9 + 29], src->planes[0][30 * 9 + 29]);
    EXPECT_EQ(dst->planes[1][64 * 4 + 14], src->planes[1][15 * 4 + 14]);

    FrameGuard wide;
    video_frame_alloc(wide.frame, 30, 40, PixelFormat_YUV420, true);
    video_frame_copy(wide.frame, src.frame);
    EXPECT_EQ(wide->planes[2][64 * 19 + 14], src->planes[2][15 * 19 + 14]);

    wide->line_sizes[0] = 0;
    EXPECT_RUNTIME_ERROR(video_frame_copy(wide.frame, src.frame), "Invalid linesize");
    EXPECT_RUNTIME_ERROR(video_frame_copy(nullptr, src.frame), "Invalid dst video frame (copy)");
    EXPECT_RUNTIME_ERROR(video_frame_copy(wide.frame, nullptr), "Invalid src video frame (copy)");
}

TEST(VideoFrame, AllocAndCopyFollowsTheSourceKind) {
    FrameGuard tex;
    dxt_frame_alloc(tex.frame, 8, 8, VideoDataFormat_Hap1);
    for (uint32_t i = 0; i < tex->sizes[0]; ++i) tex->planes[0][i] = static_cast<uint8_t>(i);
    FrameGuard copy;
    video_frame_alloc_and_copy(copy.frame, tex.frame, true);
    EXPECT_EQ(copy->data_format, uint32_t(VideoDataFormat_Hap1));
    EXPECT_EQ(0, std::memcmp(copy->planes[0], tex->planes[0], 32));

    FrameGuard pix;
    video_frame_alloc(pix.frame, 16, 4, PixelFormat_RGBA8, false);
    std::memset(pix->planes[0], 0x5A, pix->sizes[0]);
    video_frame_alloc_and_copy(copy.frame, pix.frame, true);
    EXPECT_EQ(copy->is_pixel, 1);
    EXPECT_EQ(copy->data_format, uint32_t(VideoDataFormat_Pixels));
    EXPECT_EQ(copy->line_sizes[0], 64u);
    EXPECT_EQ(copy->planes[0][63], 0x5A);

    FrameGuard data;
    video_frame_alloc_data(data.frame, 10, VideoDataFormat_Jpeg);
    std::memset(data->planes[0], 3, 10);
    video_frame_alloc_and_copy(copy.frame, data.frame, true);
    EXPECT_EQ(copy->is_pixel, 0);
    EXPECT_EQ(copy->data_format, uint32_t(VideoDataFormat_Jpeg));
    EXPECT_EQ(copy->sizes[0], 10u);
    EXPECT_EQ(copy->capacities[0], 256u);  // the pixel buffer was large enough: kept
    EXPECT_EQ(copy->planes[0][9], 3);
    FrameGuard fresh;
    video_frame_alloc_and_copy(fresh.frame, data.frame, true);
    EXPECT_EQ(fresh->capacities[0], 74u);
    EXPECT_EQ(fresh->planes[0][9], 3);
    EXPECT_RUNTIME_ERROR(video_frame_alloc_and_copy(nullptr, data.frame, true), "Invalid dst video frame (alloc and copy)");
    EXPECT_RUNTIME_ERROR(video_frame_alloc_and_copy(copy.frame, nullptr, true), "Invalid src video frame (alloc and copy)");
}

TEST(VideoFrame, ReferenceLeavesTheSourceIntact) {
    FrameGuard src;
    dxt_frame_alloc(src.frame, 16, 16, VideoDataFormat_HapM);
    src->frame_number = 5;
    src->metadata[0] = 9;
    std::memset(src->planes[1], 0x77, src->sizes[1]);
    VideoFrame* ref = video_frame_new();
    video_frame_ref(ref, src.frame);
    EXPECT_EQ(ref->planes[1], src->planes[1]);
    EXPECT_EQ(ref->frame_number, 5u);
    EXPECT_EQ(ref->metadata[0], 9u);
    EXPECT_EQ(ref->block_bytes[1], 8);
    video_frame_free(&ref);
    EXPECT_EQ(ref, nullptr);
    EXPECT_EQ(src->planes[1][0], 0x77);  // ASan: still ours
    video_frame_free(&ref);              // null is ignored
    video_frame_destroy(nullptr);
}
