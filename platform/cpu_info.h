#pragma once
// What the processor offers: how many threads to spread work over, and whether the
// AVX2 forms of the vector kernels may run.

namespace platform {

// Number of logical processors available to this process (at least 1).
unsigned processor_count() noexcept;

// True when the processor supports AVX2 and the operating system saves the
// AVX register state (both are needed before an AVX2 kernel may run).
bool cpu_has_avx2() noexcept;

}  // namespace platform
