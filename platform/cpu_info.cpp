#include "platform/cpu_info.h"

#include <sched.h>
#include <unistd.h>

#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace platform {

unsigned processor_count() noexcept {
    // Respect the affinity mask (containers, taskset) before the machine total.
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0) return static_cast<unsigned>(n);
    }
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    if (online > 0) return static_cast<unsigned>(online);
    unsigned hw = std::thread::hardware_concurrency();
    return hw > 0 ? hw : 1;
}

bool cpu_has_avx2() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool osxsave = (ecx & (1u << 27)) != 0;
    const bool avx = (ecx & (1u << 28)) != 0;
    if (!osxsave || !avx) return false;
    // XCR0 bits 1 (SSE) and 2 (AVX): the OS saves the YMM registers on a switch.
    unsigned xcr0_lo = 0, xcr0_hi = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0_lo), "=d"(xcr0_hi) : "c"(0));
    if ((xcr0_lo & 0x6u) != 0x6u) return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    return (ebx & (1u << 5)) != 0;
#else
    return false;
#endif
}

namespace {

#if defined(__x86_64__) || defined(__i386__)
CpuidRegisters native_cpuid(unsigned leaf, unsigned subleaf) {
    CpuidRegisters r;
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
    return r;
}

unsigned long long native_xgetbv(unsigned index) {
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(index));
    return (static_cast<unsigned long long>(hi) << 32) | lo;
}
#else
CpuidRegisters native_cpuid(unsigned, unsigned) { return {}; }
unsigned long long native_xgetbv(unsigned) { return 0; }
#endif

}  // namespace

CpuFeatureProbe cpu_feature_probe_native() noexcept {
    CpuFeatureProbe probe;
    probe.cpuid = native_cpuid;
    probe.xgetbv = native_xgetbv;
    return probe;
}

bool cpu_has_avx2_probe(const CpuFeatureProbe& probe, bool require_fma) noexcept {
    if (!probe.cpuid || !probe.xgetbv) return false;
    const CpuidRegisters leaf1 = probe.cpuid(1, 0);
    const bool osxsave = (leaf1.ecx & (1u << 27)) != 0;
    const bool avx = (leaf1.ecx & (1u << 28)) != 0;
    const bool fma = (leaf1.ecx & (1u << 12)) != 0;
    if (!osxsave || !avx) return false;
    if (require_fma && !fma) return false;
    if ((probe.xgetbv(0) & 0x6u) != 0x6u) return false;
    if (probe.cpuid(0, 0).eax < 7) return false;
    return (probe.cpuid(7, 0).ebx & (1u << 5)) != 0;
}

bool cpu_has_avx2_fma() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    return cpu_has_avx2_probe(cpu_feature_probe_native(), true);
#else
    return false;
#endif
}

}  // namespace platform
