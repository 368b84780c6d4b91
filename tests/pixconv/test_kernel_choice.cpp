// The processor test on played processors, and the choice between a kernel's plain
// and AVX2 builds as a node would make it.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "pixconv/kernel_registry.h"
#include "platform/cpu_info.h"

namespace {

// A played processor: leaf 1 ECX, XCR0, the highest leaf, leaf 7 EBX.
struct Played {
    unsigned leaf1_ecx;
    unsigned long long xcr0;
    unsigned max_leaf;
    unsigned leaf7_ebx;
};
Played g_played;
int g_xgetbv_calls = 0;

platform::CpuidRegisters played_cpuid(unsigned leaf, unsigned) {
    platform::CpuidRegisters r;
    if (leaf == 0) r.eax = g_played.max_leaf;
    if (leaf == 1) r.ecx = g_played.leaf1_ecx;
    if (leaf == 7 && g_played.max_leaf >= 7) r.ebx = g_played.leaf7_ebx;
    return r;
}
unsigned long long played_xgetbv(unsigned) {
    ++g_xgetbv_calls;
    return g_played.xcr0;
}

constexpr unsigned kOsxsave = 1u << 27, kAvx = 1u << 28, kFma = 1u << 12, kAvx2 = 1u << 5;

TEST(ProcessorTest, PlayedProcessors) {
    struct Case {
        const char* what;
        Played cpu;
        bool avx2;      // the plain AVX2 test
        bool avx2_fma;  // with FMA required
    };
    const Case cases[] = {
        {"everything set", {kOsxsave | kAvx | kFma, 0x7, 7, kAvx2}, true, true},
        {"XCR0 without the AVX state", {kOsxsave | kAvx | kFma, 0x3, 7, kAvx2}, false, false},
        {"XCR0 without the SSE state", {kOsxsave | kAvx | kFma, 0x5, 7, kAvx2}, false, false},
        {"OS does not use XSAVE", {kAvx | kFma, 0x7, 7, kAvx2}, false, false},
        {"no AVX", {kOsxsave | kFma, 0x7, 7, kAvx2}, false, false},
        {"highest leaf 6", {kOsxsave | kAvx | kFma, 0x7, 6, kAvx2}, false, false},
        {"AVX without AVX2", {kOsxsave | kAvx | kFma, 0x7, 13, 0}, false, false},
        {"AVX2 without FMA", {kOsxsave | kAvx, 0x7, 7, kAvx2}, true, false},
    };
    platform::CpuFeatureProbe probe;
    probe.cpuid = played_cpuid;
    probe.xgetbv = played_xgetbv;
    for (const Case& c : cases) {
        g_played = c.cpu;
        g_xgetbv_calls = 0;
        EXPECT_EQ(platform::cpu_has_avx2_probe(probe, false), c.avx2) << c.what;
        EXPECT_EQ(platform::cpu_has_avx2_probe(probe, true), c.avx2_fma) << c.what;
        // XGETBV faults where the OS does not use XSAVE: it must not run then.
        if (!(c.cpu.leaf1_ecx & kOsxsave)) {
            EXPECT_EQ(g_xgetbv_calls, 0) << c.what;
        }
    }
    EXPECT_FALSE(platform::cpu_has_avx2_probe(platform::CpuFeatureProbe{}, false));
}

TEST(ProcessorTest, NativeProbeAgreesWithTheCompiler) {
    __builtin_cpu_init();
    const bool both = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    EXPECT_EQ(platform::cpu_has_avx2_fma(), both);
    EXPECT_EQ(pixconv_use_avx2(true), both);
    EXPECT_FALSE(pixconv_use_avx2(false));
}

TEST(KernelChoice, TheRegistryNamesEveryKernelOnce) {
    size_t count = 0;
    const PixConvKernelInfo* all = pixconv_kernels(&count);
    std::set<std::string> names;
    std::set<PixConvAnyFn> pointers;
    size_t plain = 0, avx2 = 0;
    for (size_t i = 0; i < count; ++i) {
        names.insert(all[i].name);
        pointers.insert(all[i].fn);
        (all[i].is_avx2 ? avx2 : plain)++;
        EXPECT_STREQ(pixconv_kernel_name(all[i].fn), all[i].name);
        if (all[i].avx2) {
            EXPECT_EQ(std::string(pixconv_kernel_name(all[i].avx2)), std::string(all[i].name) + "_avx2");
        }
    }
    EXPECT_EQ(names.size(), count);
    EXPECT_EQ(pointers.size(), count);
    EXPECT_EQ(plain, 262u);  // with the 16le to 12le plane kernel
    EXPECT_EQ(avx2, 31u);
    EXPECT_EQ(pixconv_kernel_name(static_cast<PixConvKernelFn>(nullptr)), nullptr);
    EXPECT_EQ(pixconv_kernel_name(reinterpret_cast<PixConvAnyFn>(&pixconv_use_avx2)), nullptr);
}

TEST(KernelChoice, AvxNotAllowedKeepsThePlainBuilds) {
    size_t count = 0;
    const PixConvKernelInfo* all = pixconv_kernels(&count);
    for (size_t i = 0; i < count; ++i) {
        if (all[i].is_avx2) continue;
        if (all[i].shape == PixConvShape::Image) {
            const auto fn = reinterpret_cast<PixConvKernelFn>(all[i].fn);
            EXPECT_STREQ(pixconv_kernel_name(pixconv_pick(fn, false)), all[i].name);
            const std::string want = std::string(all[i].name) + (all[i].avx2 ? "_avx2" : "");
            EXPECT_EQ(pixconv_kernel_name(pixconv_pick(fn, true)), want);
        } else if (all[i].shape == PixConvShape::Plane) {
            const auto fn = reinterpret_cast<PlaneConvKernelFn>(all[i].fn);
            EXPECT_STREQ(pixconv_kernel_name(pixconv_pick(fn, false)), all[i].name);
            const std::string want = std::string(all[i].name) + (all[i].avx2 ? "_avx2" : "");
            EXPECT_EQ(pixconv_kernel_name(pixconv_pick(fn, true)), want);
        }
    }
    EXPECT_STREQ(pixconv_kernel_name(pixconv_pick(conv_rgba8_to_rgba16, pixconv_use_avx2(false))),
                 "conv_rgba8_to_rgba16");
    EXPECT_EQ(pixconv_pick(static_cast<PixConvKernelFn>(nullptr), true), nullptr);
}

}  // namespace
