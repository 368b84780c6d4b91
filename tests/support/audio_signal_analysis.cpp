#include "tests/support/audio_signal_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tests/support/test_movies.h"

namespace testsupport {

double tone_frequency(const std::vector<float>& samples, size_t begin, size_t end, double rate) {
    end = std::min(end, samples.size());
    double first = -1.0;
    double last = -1.0;
    long cycles = -1;
    for (size_t i = begin + 1; i < end; ++i) {
        const float a = samples[i - 1];
        const float b = samples[i];
        if (a < 0.0f && b >= 0.0f) {
            const double at = double(i - 1) + double(-a) / double(b - a);
            if (first < 0.0) first = at;
            last = at;
            ++cycles;
        }
    }
    if (cycles < 1) return 0.0;
    return double(cycles) * rate / (last - first);
}

float peak_level(const std::vector<float>& samples, size_t begin, size_t end) {
    end = std::min(end, samples.size());
    float peak = 0.0f;
    for (size_t i = begin; i < end; ++i) peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

double rms_level(const std::vector<float>& samples, size_t begin, size_t end) {
    end = std::min(end, samples.size());
    if (end <= begin) return 0.0;
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(end - begin));
}

double rms_difference_db(const std::vector<float>& a, const std::vector<float>& b, size_t begin, size_t end) {
    end = std::min({end, a.size(), b.size()});
    if (end <= begin) return 0.0;
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    const double rms = std::sqrt(sum / double(end - begin));
    return rms > 0.0 ? 20.0 * std::log10(rms) : -400.0;
}

long first_above(const std::vector<float>& samples, float threshold, size_t begin) {
    for (size_t i = begin; i < samples.size(); ++i)
        if (std::fabs(samples[i]) >= threshold) return long(i);
    return -1;
}

size_t index_of_peak(const std::vector<float>& samples, size_t begin, size_t end) {
    end = std::min(end, samples.size());
    size_t best = begin;
    for (size_t i = begin; i < end; ++i)
        if (std::fabs(samples[i]) > std::fabs(samples[best])) best = i;
    return best;
}

size_t locate(const std::vector<float>& heard, size_t from, size_t to, const std::vector<float>& wanted, size_t at,
              size_t length) {
    if (at + length > wanted.size()) return kNotFound;
    for (size_t o = from; o < to && o + length <= heard.size(); ++o) {
        size_t k = 0;
        while (k < length && std::fabs(heard[o + k] - wanted[at + k]) < 1e-5f) ++k;
        if (k == length) return o;
    }
    return kNotFound;
}

std::vector<std::pair<size_t, size_t>> silent_runs(const std::vector<float>& samples, size_t minFrames) {
    std::vector<std::pair<size_t, size_t>> runs;
    size_t i = 0;
    while (i < samples.size()) {
        if (samples[i] != 0.0f) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < samples.size() && samples[end] == 0.0f) ++end;
        if (end - i >= minFrames) runs.emplace_back(i, end);
        i = end;
    }
    return runs;
}

std::vector<std::pair<size_t, size_t>> sounding_runs(const std::vector<float>& samples, size_t minGapFrames) {
    std::vector<std::pair<size_t, size_t>> runs;
    size_t start = 0;
    for (const auto& [first, end] : silent_runs(samples, minGapFrames)) {
        if (first > start) runs.emplace_back(start, first);
        start = end;
    }
    if (start < samples.size()) runs.emplace_back(start, samples.size());
    return runs;
}

std::vector<float> read_raw_s16_channel(const std::string& path, uint32_t channels, uint32_t channel) {
    const Bytes bytes = read_whole_file(path);
    const size_t frames = bytes.size() / (2u * channels);
    std::vector<float> out(frames);
    for (size_t i = 0; i < frames; ++i) {
        int16_t v;
        std::memcpy(&v, bytes.data() + (i * channels + channel) * 2, 2);
        out[i] = float(v) * (1.0f / 32768.0f);
    }
    return out;
}

std::vector<float> read_raw_f32_channel(const std::string& path, uint32_t channels, uint32_t channel) {
    const Bytes bytes = read_whole_file(path);
    const size_t frames = bytes.size() / (4u * channels);
    std::vector<float> out(frames);
    for (size_t i = 0; i < frames; ++i) std::memcpy(&out[i], bytes.data() + (i * channels + channel) * 4, 4);
    return out;
}

}  // namespace testsupport
