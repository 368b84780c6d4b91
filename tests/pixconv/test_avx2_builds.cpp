// Every AVX2 build against its plain build, byte for byte, on random images of every
// width from 1 to 300 (every block tail) with padded strides and guard bytes. The one
// permitted difference: fused rounding of the float 0x3B008080 into 8 bits inside a
// block. Skipped on a processor without AVX2 and FMA.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pixconv/kernel_registry.h"
#include "pixel_formats_oracle.h"

namespace {

constexpr uint32_t kFusedException = 0x3B008080u;

struct Geometry {
    std::vector<std::pair<size_t, size_t>> src, dst;  // (row bytes, unit) per plane
    uint32_t src_rows_factor = 1;
    bool float_source = false;
};

Geometry geometry_of(const std::string& name, uint32_t w) {
    Geometry g;
    if (name.rfind("half_bilinear", 0) == 0) {
        g.src = {{size_t(w) * 8, 4}};
        g.dst = {{size_t(w) * 4, 4}};
        g.src_rows_factor = 2;
        return g;
    }
    if (name.rfind("conv_uyvy", 0) == 0) {
        const size_t unit = name.find("_10") != std::string::npos ? 2 : 1;
        g.src = {{(w + 1) / 2 * 4, 2}};
        g.dst = {{w * unit, unit}, {(w + 1) / 2 * unit, unit}, {(w + 1) / 2 * unit, unit}};
        return g;
    }
    if (name.rfind("conv_plane_", 0) == 0) {
        auto unit = [](const std::string& t) { return t == "8" ? size_t(1) : t == "32f" ? size_t(4) : size_t(2); };
        const size_t to = name.find("_to_");
        const std::string s = name.substr(11, to - 11), d = name.substr(to + 4);
        g.src = {{w * unit(s), unit(s)}};
        g.dst = {{w * unit(d), unit(d)}};
        g.float_source = s == "32f";
        return g;
    }
    const KernelName k = parse_kernel_name(name);
    auto planes = [w](const FmtDesc* f) {
        std::vector<std::pair<size_t, size_t>> v;
        const size_t unit = size_of(f->ty);
        for (int p = 0; p < (f->planar ? f->samples : 1); ++p)
            v.push_back({f->planar ? w * unit : w * unit * f->samples, unit});
        return v;
    };
    g.src = planes(k.src);
    g.dst = planes(k.dst);
    g.float_source = k.src->ty == Ty::F32;
    return g;
}

std::vector<GuardedPlane> make_planes(std::mt19937& rng, const std::vector<std::pair<size_t, size_t>>& desc,
                                      uint32_t rows) {
    std::vector<GuardedPlane> v;
    for (auto& [bytes, unit] : desc) v.push_back(make_plane(rng, bytes, rows, unit));
    return v;
}

void pointers(std::vector<GuardedPlane>& planes, uint8_t* p[4], int64_t s[4]) {
    for (int i = 0; i < 4; ++i) {
        const bool used = i < int(planes.size());
        p[i] = used ? planes[i].data() : poison_plane();
        s[i] = used ? planes[i].stride : kPoisonStride;
    }
}

void fill_floats(std::mt19937& rng, GuardedPlane& p) {
    for (uint32_t y = 0; y < p.rows; ++y)
        for (size_t i = 0; i < p.row_bytes / 4; ++i) {
            const float v = rng() % 16 == 0 ? bits_float(kFusedException) : float(random_sample(rng, Ty::F32));
            write_at<float>(p.row(y), i, v);
        }
    p.take_snapshot();
}

void fill_source(std::mt19937& rng, std::vector<GuardedPlane>& planes, const std::string& name, bool float_source) {
    if (float_source) {
        for (auto& p : planes) fill_floats(rng, p);
        return;
    }
    // Integer sources: random bytes, with (colour, alpha) pairs of every kind.
    const bool sixteen = name.find("rgba16") != std::string::npos || name.find("rgbx16") != std::string::npos ||
                         name.find("plane_16le") != std::string::npos;
    for (auto& p : planes) {
        if (sixteen && name.find("unpremul") != std::string::npos) {
            static const uint16_t kAwkward[] = {0, 1, 2, 255, 30000, 32768, 40000, 65534, 65535};
            for (uint32_t y = 0; y < p.rows; ++y)
                for (size_t i = 0; i < p.row_bytes / 2; ++i)
                    if (rng() % 3 == 0) write_at<uint16_t>(p.row(y), i, kAwkward[rng() % std::size(kAwkward)]);
        }
        p.take_snapshot();
    }
}

// The fused M = 255 builds, whose output sample i comes from source float i.
bool fused_into_8_bits(const std::string& name) {
    return name == "conv_plane_32f_to_8_avx2" || name == "conv_rgba32f_to_rgba8_avx2" ||
           name == "conv_rgbx32f_to_rgba8_avx2";
}

std::vector<std::pair<const PixConvKernelInfo*, const PixConvKernelInfo*>> avx2_pairs() {
    std::vector<std::pair<const PixConvKernelInfo*, const PixConvKernelInfo*>> v;
    size_t count = 0;
    const PixConvKernelInfo* all = pixconv_kernels(&count);
    for (size_t i = 0; i < count; ++i) {
        if (!all[i].avx2) continue;
        for (size_t j = 0; j < count; ++j)
            if (all[j].fn == all[i].avx2) v.push_back({&all[i], &all[j]});
    }
    return v;
}

void call(const PixConvKernelInfo* k, std::vector<GuardedPlane>& dst, std::vector<GuardedPlane>& src, uint32_t w,
          uint32_t h) {
    if (k->shape == PixConvShape::Plane) {
        reinterpret_cast<PlaneConvKernelFn>(k->fn)(dst[0].data(), src[0].data(), dst[0].stride, src[0].stride, w, h);
        return;
    }
    uint8_t* dp[4];
    uint8_t* sp[4];
    int64_t ds[4], ss[4];
    pointers(dst, dp, ds);
    pointers(src, sp, ss);
    const uint8_t* csp[4] = {sp[0], sp[1], sp[2], sp[3]};
    reinterpret_cast<PixConvKernelFn>(k->fn)(dp, csp, ds, ss, w, h);
}

class Avx2Builds : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!pixconv_use_avx2(true)) GTEST_SKIP() << "no AVX2 and FMA on this processor";
    }
};

TEST_F(Avx2Builds, EqualThePlainBuildsByteForByte) {
    const auto pairs = avx2_pairs();
    ASSERT_EQ(pairs.size(), 31u);
    std::mt19937 rng(61);
    for (auto [plain, avx2] : pairs) {
        const std::string name = avx2->name;
        SCOPED_TRACE(name);
        for (uint32_t w = 1; w <= 300; ++w) {
            const uint32_t h = 1 + rng() % 3;
            const Geometry g = geometry_of(plain->name, w);
            auto src = make_planes(rng, g.src, h * g.src_rows_factor);
            fill_source(rng, src, name, g.float_source);
            auto want = make_planes(rng, g.dst, h), got = make_planes(rng, g.dst, h);
            call(plain, want, src, w, h);
            call(avx2, got, src, w, h);
            for (size_t p = 0; p < got.size(); ++p) {
                ASSERT_TRUE(got[p].untouched_outside_rows()) << "width " << w;
                for (auto& s : src) ASSERT_EQ(s.mem, s.snapshot) << "source changed";
                for (uint32_t y = 0; y < h; ++y)
                    for (size_t b = 0; b < got[p].row_bytes; ++b) {
                        if (b == 0 && std::memcmp(got[p].row(y), want[p].row(y), got[p].row_bytes) == 0) break;
                        if (got[p].row(y)[b] == want[p].row(y)[b]) continue;
                        const bool excepted = fused_into_8_bits(name) &&
                                              read_at<uint32_t>(src[0].row(y), b) == kFusedException &&
                                              got[p].row(y)[b] == 1 && want[p].row(y)[b] == 0;
                        ASSERT_TRUE(excepted) << "width " << w << " row " << y << " byte " << b << ": "
                                              << int(got[p].row(y)[b]) << " vs " << int(want[p].row(y)[b]);
                    }
            }
        }
    }
}

// The exception itself: inside a 32-sample block the fused form gives 1, in the row's
// tail it gives the plain 0.
TEST_F(Avx2Builds, FusedRoundingDiffersOnlyInsideBlocks) {
    std::vector<float> src(40, bits_float(kFusedException));
    std::vector<uint8_t> plain(40, 9), fused(40, 9);
    conv_plane_32f_to_8(plain.data(), reinterpret_cast<const uint8_t*>(src.data()), 40, 160, 40, 1);
    conv_plane_32f_to_8_avx2(fused.data(), reinterpret_cast<const uint8_t*>(src.data()), 40, 160, 40, 1);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(plain[i], 0) << i;
        EXPECT_EQ(fused[i], i < 32 ? 1 : 0) << i;
    }
    // Into 16 bits the value rounds alike.
    std::vector<uint16_t> p16(40), f16(40);
    conv_plane_32f_to_16le(reinterpret_cast<uint8_t*>(p16.data()), reinterpret_cast<const uint8_t*>(src.data()), 80,
                           160, 40, 1);
    conv_plane_32f_to_16le_avx2(reinterpret_cast<uint8_t*>(f16.data()), reinterpret_cast<const uint8_t*>(src.data()),
                                80, 160, 40, 1);
    EXPECT_EQ(p16, f16);
}

// Invalid premultiplied pixels (colour above alpha) give the maximum in the block part
// too, where a signed limit after the conversion would give 0.
TEST_F(Avx2Builds, UnpremultiplyOfInvalidPixelsGivesTheMaximum) {
    std::vector<uint16_t> src;
    const uint16_t pixels[][4] = {{65535, 40000, 1, 1}, {1, 1, 1, 0}, {65535, 65535, 65535, 2}, {5, 0, 0, 7}};
    for (int i = 0; i < 9; ++i)
        for (uint16_t s : pixels[i % 4]) src.push_back(s);
    std::vector<uint16_t> fused(src.size()), plain(src.size());
    const uint8_t* sp[4] = {reinterpret_cast<const uint8_t*>(src.data()), nullptr, nullptr, nullptr};
    uint8_t* fp[4] = {reinterpret_cast<uint8_t*>(fused.data()), nullptr, nullptr, nullptr};
    uint8_t* pp[4] = {reinterpret_cast<uint8_t*>(plain.data()), nullptr, nullptr, nullptr};
    const int64_t stride[4] = {9 * 8, 0, 0, 0};
    conv_rgba16_to_rgba16_unpremul_avx2(fp, sp, stride, stride, 9, 1);
    conv_rgba16_to_rgba16_unpremul(pp, sp, stride, stride, 9, 1);
    EXPECT_EQ(fused, plain);
    EXPECT_EQ(fused[0], 65535);  // (65535, 1)
    EXPECT_EQ(fused[1], 65535);  // (40000, 1)
    EXPECT_EQ(fused[2], 65535);  // (1, 1)
    EXPECT_EQ(fused[4], 0);      // (1, 0)
    EXPECT_EQ(fused[7], 0);      // alpha kept
}

TEST_F(Avx2Builds, EightBitUnpremultiplyEqualsThePlainBuildForEveryPair) {
    std::vector<uint8_t> src(256 * 256 * 4), fused(src.size()), plain(src.size());
    for (int c = 0; c < 256; ++c)
        for (int a = 0; a < 256; ++a) {
            uint8_t* p = &src[(a * 256 + c) * 4];
            p[0] = uint8_t(c);
            p[1] = uint8_t(255 - c);
            p[2] = uint8_t(c ^ a);
            p[3] = uint8_t(a);
        }
    const uint8_t* sp[4] = {src.data(), nullptr, nullptr, nullptr};
    uint8_t* fp[4] = {fused.data(), nullptr, nullptr, nullptr};
    uint8_t* pp[4] = {plain.data(), nullptr, nullptr, nullptr};
    const int64_t stride[4] = {1024, 0, 0, 0};
    conv_rgba8_to_rgba8_unpremul_avx2(fp, sp, stride, stride, 256, 256);
    conv_rgba8_to_rgba8_unpremul(pp, sp, stride, stride, 256, 256);
    EXPECT_EQ(fused, plain);
}

TEST_F(Avx2Builds, PremultiplyOpaqueInPlaceEqualsOutOfPlace) {
    std::mt19937 rng(67);
    for (auto [kernel, width] : {std::pair{&conv_rgba8_to_rgba8_premul_opaque_avx2, 4u},
                                 std::pair{&conv_rgba32f_to_rgba32f_premul_opaque_avx2, 16u}}) {
        const uint32_t w = 37;
        std::vector<uint8_t> src(w * width);
        for (size_t i = 0; i < src.size(); i += width == 4 ? 1 : 4) {
            if (width == 4) src[i] = uint8_t(rng());
            else write_at<float>(src.data(), i / 4, float(random_sample(rng, Ty::F32)));
        }
        std::vector<uint8_t> out(src.size()), inplace = src;
        const uint8_t* sp[4] = {src.data(), nullptr, nullptr, nullptr};
        uint8_t* op[4] = {out.data(), nullptr, nullptr, nullptr};
        const uint8_t* ip[4] = {inplace.data(), nullptr, nullptr, nullptr};
        uint8_t* ipw[4] = {inplace.data(), nullptr, nullptr, nullptr};
        const int64_t stride[4] = {int64_t(src.size()), 0, 0, 0};
        kernel(op, sp, stride, stride, w, 1);
        kernel(ipw, ip, stride, stride, w, 1);
        EXPECT_EQ(out, inplace) << pixconv_kernel_name(kernel);
    }
}

}  // namespace
