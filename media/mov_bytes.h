#pragma once
// Fixed-width reads from the in-memory moov atom. Callers check the bounds first.
#include <cstdint>

inline uint16_t mov_be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t mov_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint64_t mov_be64(const uint8_t* p) { return uint64_t(mov_be32(p)) << 32 | mov_be32(p + 4); }
inline uint16_t mov_le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t mov_le32(const uint8_t* p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | uint32_t(p[0]);
}
