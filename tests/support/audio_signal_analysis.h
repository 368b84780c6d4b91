#pragma once
// Measurements of played or buffered audio for the playback tests: tone frequency by
// interpolated zero crossings, levels, and the first sample above a threshold.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Frequency in Hz of the tone in samples [begin, end) at `rate` Hz, from the first to
// the last rising zero crossing (interpolated); 0 when there are fewer than two.
double tone_frequency(const std::vector<float>& samples, size_t begin, size_t end, double rate);

// Largest absolute sample and root-mean-square level of [begin, end).
float peak_level(const std::vector<float>& samples, size_t begin, size_t end);
double rms_level(const std::vector<float>& samples, size_t begin, size_t end);
// RMS of the difference of two signals over [begin, end), in dB of full scale.
double rms_difference_db(const std::vector<float>& a, const std::vector<float>& b, size_t begin, size_t end);

// Index of the first sample whose magnitude reaches `threshold`, or -1.
long first_above(const std::vector<float>& samples, float threshold, size_t begin = 0);
// Index of the largest magnitude in [begin, end).
size_t index_of_peak(const std::vector<float>& samples, size_t begin, size_t end);

// Where `length` samples of `wanted` from `at` stand whole in `heard` (each within
// 1e-5), first looked for from offset `from` to `to`; kNotFound when nowhere.
constexpr size_t kNotFound = size_t(-1);
size_t locate(const std::vector<float>& heard, size_t from, size_t to, const std::vector<float>& wanted, size_t at,
              size_t length);

// Runs of exact digital silence no shorter than `minFrames`, as [first, end) ranges in
// order; and the runs of sound between silences of at least `minGapFrames`.
std::vector<std::pair<size_t, size_t>> silent_runs(const std::vector<float>& samples, size_t minFrames);
std::vector<std::pair<size_t, size_t>> sounding_runs(const std::vector<float>& samples, size_t minGapFrames);

// One channel of an interleaved raw file: signed 16-bit LE (scaled by 2^-15) or float 32 LE.
std::vector<float> read_raw_s16_channel(const std::string& path, uint32_t channels, uint32_t channel);
std::vector<float> read_raw_f32_channel(const std::string& path, uint32_t channels, uint32_t channel);

}  // namespace testsupport
