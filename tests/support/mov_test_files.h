#pragma once
// Building and patching QuickTime movies for the reader's tests: a small writer of
// atoms and sample tables for hand-made movies, and a finder that locates an atom of
// an existing movie by path so one field can be rewritten in a copy.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_movies.h"

namespace testsupport {

// Big-endian appends.
void put_u8(Bytes& out, uint8_t v);
void put_be16(Bytes& out, uint16_t v);
void put_be32(Bytes& out, uint32_t v);
void put_be64(Bytes& out, uint64_t v);
void put_le16(Bytes& out, uint16_t v);
void put_le32(Bytes& out, uint32_t v);
void put_text(Bytes& out, const std::string& text);
void append(Bytes& out, const Bytes& more);

// Overwrites in place.
void set_be32(Bytes& file, uint64_t at, uint32_t v);
uint32_t get_be32(const Bytes& file, uint64_t at);

Bytes atom(const std::string& type, const Bytes& payload);

// Table payloads.
Bytes stts_payload(const std::vector<std::pair<uint32_t, uint32_t>>& entries);  // (count, duration)
Bytes stsz_payload(uint32_t common_size, uint32_t count, const std::vector<uint32_t>& sizes);
Bytes stsc_payload(const std::vector<std::pair<uint32_t, uint32_t>>& entries);  // (first chunk, samples)
Bytes stco_payload(const std::vector<uint64_t>& offsets, bool wide);
Bytes mdhd_payload(uint8_t version, uint32_t timescale, uint64_t duration);
Bytes tkhd_payload(uint8_t version, uint32_t width, uint32_t height);
Bytes hdlr_payload(const std::string& handler);
// An stsd payload holding one entry (the entry given whole, size field included).
Bytes stsd_payload(const Bytes& entry);
// A visual sample entry; the coded width and height are left 0 unless given.
Bytes video_entry(const std::string& codec, uint16_t depth, const Bytes& extensions, uint16_t width = 0,
                  uint16_t height = 0);
// A sound entry of version 0 or 1 (the v1 fields follow the v0 ones).
Bytes sound_entry_v0(const std::string& codec, uint16_t channels, uint16_t sample_size, uint32_t rate,
                     const Bytes& extensions, bool version1 = false, uint32_t samples_per_packet = 1);
Bytes sound_entry_v2(const std::string& codec, double rate, uint32_t channels, uint32_t bits, uint32_t flags,
                     uint32_t frames_per_packet, const Bytes& extensions);

struct TrackAtoms {
    std::string handler;  // "vide", "soun", "tmcd"
    Bytes tkhd, mdhd, stsd, stts, stsz, stsc, stco;
    bool wide_offsets = false;  // co64 instead of stco
};
Bytes trak_atom(const TrackAtoms& track);

// ftyp, mdat (payload given), then moov with the given children. Sample offsets
// inside the mdat payload start at mdat_payload_offset().
Bytes movie_file(const Bytes& mdat_payload, const std::vector<Bytes>& moov_children);
uint64_t mdat_payload_offset();

// A video track of `sizes.size()` samples, one per chunk, back to back from `first_offset`.
TrackAtoms simple_video_track(const std::vector<uint32_t>& sizes, uint64_t first_offset, uint32_t timescale,
                              const std::vector<std::pair<uint32_t, uint32_t>>& stts,
                              const std::string& codec = "Hap1");

// A Hap1 movie of solid 16x16 DXT1 frames (25 fps, one per chunk) whose track header
// and sample description may claim other sizes, whose time table and media duration
// may be given, optionally with a sound track of 100 samples (zero bytes) described by
// `sound_entry`.
struct SizedHapMovie {
    uint32_t tkhd_width = 16, tkhd_height = 16;
    uint16_t coded_width = 16, coded_height = 16;  // the sample description's; 0 leaves them unset
    uint32_t frames = 3;
    std::vector<std::pair<uint32_t, uint32_t>> stts;  // (count, duration); empty: every frame lasts 1
    uint64_t media_duration = 0;                      // 0: the time table's
    Bytes sound_entry;  // no sound track when empty
    uint32_t sound_frame_bytes = 16;  // bytes of one sound sample, all channels
};
Bytes sized_hap_movie(const SizedHapMovie& desc);
// Its frames' texture: the DXT1 bytes every frame holds (16x16 pixels, 128 bytes).
Bytes sized_hap_movie_texture();

struct AtomPos {
    uint64_t offset = 0;   // where the atom begins
    uint64_t payload = 0;  // where its payload begins
    uint64_t size = 0;     // its total size
};
// Finds an atom by a path such as "moov/trak:soun/mdia/mdhd": each step is a type,
// "trak:xxxx" picks the track whose handler is xxxx, "type#n" the n-th (from 0).
// Throws when absent.
AtomPos find_atom(const Bytes& file, const std::string& path);

// A copy of `file` whose atom at `path` holds `payload` instead, its size and those of
// the atoms around it grown or shrunk to match. For a movie whose samples lie before
// that atom (FFmpeg's default, `moov` last): no sample moves. Throws otherwise.
Bytes with_payload(const Bytes& file, const std::string& path, const Bytes& payload);

// A file in the fixture folder's scratch area, for patched copies.
std::string scratch_path(const std::string& name);

}  // namespace testsupport
