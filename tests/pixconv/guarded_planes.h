#pragma once
// Test planes with guard bytes: each plane lives inside a larger block filled with
// random bytes, with padded strides, so a test can prove a kernel wrote exactly its
// pixels and nothing before, after or between its rows.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <algorithm>
#include <random>
#include <vector>

struct GuardedPlane {
    static constexpr size_t kGuard = 64;
    std::vector<uint8_t> mem;
    int64_t stride = 0;
    size_t row_bytes = 0;
    uint32_t rows = 0;
    std::vector<uint8_t> snapshot;

    uint8_t* data() { return mem.data() + kGuard; }
    const uint8_t* data() const { return mem.data() + kGuard; }
    uint8_t* row(uint32_t y) { return data() + y * stride; }
    const uint8_t* row(uint32_t y) const { return data() + y * stride; }
    void take_snapshot() { snapshot = mem; }

    // Every byte outside the rows' first row_bytes is as at the snapshot.
    ::testing::AssertionResult untouched_outside_rows() const {
        auto same = [this](size_t from, size_t to) {
            return to <= from || std::memcmp(mem.data() + from, snapshot.data() + from, to - from) == 0;
        };
        size_t at = 0;
        for (uint32_t y = 0; y < rows; ++y) {
            const size_t start = kGuard + y * static_cast<size_t>(stride);
            if (!same(at, start)) return ::testing::AssertionFailure() << "bytes before row " << y << " changed";
            at = start + row_bytes;
        }
        if (!same(at, mem.size())) return ::testing::AssertionFailure() << "bytes after the last row changed";
        return ::testing::AssertionSuccess();
    }
};

// A plane of `rows` rows of `row_bytes` bytes; the stride is row_bytes plus 0 to 3
// units of `unit` bytes (0 half of the time would hide the strided path, so it is
// random), all random bytes.
inline GuardedPlane make_plane(std::mt19937& rng, size_t row_bytes, uint32_t rows, size_t unit) {
    GuardedPlane p;
    p.row_bytes = row_bytes;
    p.rows = rows;
    p.stride = static_cast<int64_t>(row_bytes + unit * (rng() % 4));
    if (p.stride == 0) p.stride = static_cast<int64_t>(unit);
    p.mem.resize(GuardedPlane::kGuard * 2 + static_cast<size_t>(p.stride) * rows);
    for (size_t i = 0; i < p.mem.size(); i += 4) {
        const uint32_t r = rng();
        std::memcpy(p.mem.data() + i, &r, std::min<size_t>(4, p.mem.size() - i));
    }
    p.take_snapshot();
    return p;
}

template <class T>
inline T read_at(const uint8_t* p, size_t index) {
    T v;
    std::memcpy(&v, p + index * sizeof(T), sizeof(T));
    return v;
}
template <class T>
inline void write_at(uint8_t* p, size_t index, T v) {
    std::memcpy(p + index * sizeof(T), &v, sizeof(T));
}

inline uint32_t float_bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}
inline float bits_float(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// Equal as stored samples; two NaNs count as equal whatever their payload.
inline bool same_float(float a, float b) {
    if (a != a && b != b) return true;
    return float_bits(a) == float_bits(b);
}

// Entries of a plane or stride array that a kernel must never read.
inline uint8_t* poison_plane() { return reinterpret_cast<uint8_t*>(uintptr_t(0x10)); }
constexpr int64_t kPoisonStride = -1;
