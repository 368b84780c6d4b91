#pragma once
// Small helpers the benchmarks share: the machine's load and the process's CPU time
// (on a shared machine they tell how many cores a measurement really had), and medians.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace bench {

// The 1-minute load average, 0 when it cannot be read.
inline double load_average() {
    double load = 0;
    if (std::FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf", &load) != 1) load = 0;
        std::fclose(file);
    }
    return load;
}

// CPU seconds used by every thread of the process so far.
inline double process_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace bench
