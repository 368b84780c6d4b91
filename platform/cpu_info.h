#pragma once
// What the processor offers: how many threads to spread work over, and whether the
// AVX2 forms of the vector kernels may run.

namespace platform {

// Number of logical processors available to this process (at least 1).
unsigned processor_count() noexcept;

// True when the processor supports AVX2 and the operating system saves the
// AVX register state (both are needed before an AVX2 kernel may run).
bool cpu_has_avx2() noexcept;

// The raw processor queries behind the feature tests, replaceable so that tests can
// play processors (and operating systems) other than the one they run on.
struct CpuidRegisters {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};
struct CpuFeatureProbe {
    // CPUID of `leaf` / `subleaf`.
    CpuidRegisters (*cpuid)(unsigned leaf, unsigned subleaf) = nullptr;
    // XGETBV of extended control register `index` (only called once OSXSAVE is known set).
    unsigned long long (*xgetbv)(unsigned index) = nullptr;
};

// The queries of the processor this program runs on (all zero off x86).
CpuFeatureProbe cpu_feature_probe_native() noexcept;

// The AVX2 test run through `probe`, in this order, the first failing step giving
// false: CPUID.1 ECX bits 27 (OSXSAVE) and 28 (AVX), and bit 12 (FMA) when
// `require_fma`; XCR0 bits 1 and 2 (the OS saves the SSE and AVX state); highest
// standard leaf at least 7; CPUID.7.0 EBX bit 5 (AVX2).
bool cpu_has_avx2_probe(const CpuFeatureProbe& probe, bool require_fma) noexcept;

// AVX2 and FMA usable: the test for kernels whose AVX2 forms use fused multiply-add.
bool cpu_has_avx2_fma() noexcept;

}  // namespace platform
