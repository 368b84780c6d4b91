#include "tests/support/mov_test_files.h"

#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace testsupport {

void put_u8(Bytes& out, uint8_t v) { out.push_back(v); }
void put_be16(Bytes& out, uint16_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}
void put_be32(Bytes& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}
void put_be64(Bytes& out, uint64_t v) {
    put_be32(out, uint32_t(v >> 32));
    put_be32(out, uint32_t(v));
}
void put_le16(Bytes& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put_le32(Bytes& out, uint32_t v) {
    for (int s = 0; s < 32; s += 8) out.push_back(uint8_t(v >> s));
}
void put_text(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }
void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

void set_be32(Bytes& file, uint64_t at, uint32_t v) {
    if (at + 4 > file.size()) throw std::runtime_error("set_be32 past the end");
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (24 - 8 * i));
}

uint32_t get_be32(const Bytes& file, uint64_t at) {
    if (at + 4 > file.size()) throw std::runtime_error("get_be32 past the end");
    return uint32_t(file[at]) << 24 | uint32_t(file[at + 1]) << 16 | uint32_t(file[at + 2]) << 8 | file[at + 3];
}

Bytes atom(const std::string& type, const Bytes& payload) {
    if (type.size() != 4) throw std::runtime_error("atom type must have 4 characters");
    Bytes out;
    put_be32(out, uint32_t(payload.size() + 8));
    put_text(out, type);
    append(out, payload);
    return out;
}

Bytes stts_payload(const std::vector<std::pair<uint32_t, uint32_t>>& entries) {
    Bytes out;
    put_be32(out, 0);
    put_be32(out, uint32_t(entries.size()));
    for (auto [count, duration] : entries) {
        put_be32(out, count);
        put_be32(out, duration);
    }
    return out;
}

Bytes stsz_payload(uint32_t common_size, uint32_t count, const std::vector<uint32_t>& sizes) {
    Bytes out;
    put_be32(out, 0);
    put_be32(out, common_size);
    put_be32(out, count);
    for (uint32_t size : sizes) put_be32(out, size);
    return out;
}

Bytes stsc_payload(const std::vector<std::pair<uint32_t, uint32_t>>& entries) {
    Bytes out;
    put_be32(out, 0);
    put_be32(out, uint32_t(entries.size()));
    for (auto [first, samples] : entries) {
        put_be32(out, first);
        put_be32(out, samples);
        put_be32(out, 1);
    }
    return out;
}

Bytes stco_payload(const std::vector<uint64_t>& offsets, bool wide) {
    Bytes out;
    put_be32(out, 0);
    put_be32(out, uint32_t(offsets.size()));
    for (uint64_t offset : offsets) {
        if (wide)
            put_be64(out, offset);
        else
            put_be32(out, uint32_t(offset));
    }
    return out;
}

Bytes mdhd_payload(uint8_t version, uint32_t timescale, uint64_t duration) {
    Bytes out;
    put_u8(out, version);
    put_u8(out, 0);
    put_be16(out, 0);
    if (version == 1) {
        put_be64(out, 0x0102030405060708ull);  // creation
        put_be64(out, 0x1112131415161718ull);  // modification
        put_be32(out, timescale);
        put_be64(out, duration);
    } else {
        put_be32(out, 0);
        put_be32(out, 0);
        put_be32(out, timescale);
        put_be32(out, uint32_t(duration));
    }
    put_be16(out, 0x55C4);  // language
    put_be16(out, 0);       // quality
    return out;
}

Bytes tkhd_payload(uint8_t version, uint32_t width, uint32_t height) {
    Bytes out;
    put_u8(out, version);
    put_u8(out, 0);
    put_be16(out, 0xF);
    const int dates = version == 1 ? 8 : 4;
    for (int i = 0; i < 2 * dates; ++i) put_u8(out, 0x77);  // creation, modification
    put_be32(out, 1);                                      // track id
    put_be32(out, 0);                                      // reserved
    for (int i = 0; i < dates; ++i) put_u8(out, 0);        // duration
    for (int i = 0; i < 8; ++i) put_u8(out, 0);            // reserved
    put_be16(out, 0);                                      // layer
    put_be16(out, 0);                                      // alternate group
    put_be16(out, 0);                                      // volume
    put_be16(out, 0);                                      // reserved
    const uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
    for (uint32_t m : matrix) put_be32(out, m);
    put_be32(out, width << 16);
    put_be32(out, height << 16);
    return out;
}

Bytes hdlr_payload(const std::string& handler) {
    Bytes out;
    put_be32(out, 0);
    put_text(out, "mhlr");
    put_text(out, handler);
    for (int i = 0; i < 12; ++i) put_u8(out, 0);
    put_u8(out, 0);
    return out;
}

Bytes stsd_payload(const Bytes& entry) {
    Bytes out;
    put_be32(out, 0);
    put_be32(out, 1);
    append(out, entry);
    return out;
}

Bytes video_entry(const std::string& codec, uint16_t depth, const Bytes& extensions, uint16_t width,
                  uint16_t height) {
    Bytes body;  // from entry offset 8
    for (int i = 0; i < 6; ++i) put_u8(body, 0);
    put_be16(body, 1);  // data reference index
    while (body.size() < 32 - 8) put_u8(body, 0);
    put_be16(body, width);
    put_be16(body, height);
    while (body.size() < 82 - 8) put_u8(body, 0);
    put_be16(body, depth);
    put_be16(body, 0xFFFF);  // colour table id
    append(body, extensions);
    Bytes entry;
    put_be32(entry, uint32_t(body.size() + 8));
    put_text(entry, codec);
    append(entry, body);
    return entry;
}

Bytes sound_entry_v0(const std::string& codec, uint16_t channels, uint16_t sample_size, uint32_t rate,
                     const Bytes& extensions, bool version1, uint32_t samples_per_packet) {
    Bytes body;
    for (int i = 0; i < 6; ++i) put_u8(body, 0);
    put_be16(body, 1);
    put_be16(body, version1 ? 1 : 0);
    put_be16(body, 0);
    put_be32(body, 0);
    put_be16(body, channels);
    put_be16(body, sample_size);
    put_be16(body, version1 ? 0xFFFE : 0);
    put_be16(body, 0);
    put_be32(body, rate << 16);
    if (version1) {
        put_be32(body, samples_per_packet);
        put_be32(body, sample_size / 8);
        put_be32(body, sample_size / 8 * channels);
        put_be32(body, sample_size / 8);
    }
    append(body, extensions);
    Bytes entry;
    put_be32(entry, uint32_t(body.size() + 8));
    put_text(entry, codec);
    append(entry, body);
    return entry;
}

Bytes sound_entry_v2(const std::string& codec, double rate, uint32_t channels, uint32_t bits, uint32_t flags,
                     uint32_t frames_per_packet, const Bytes& extensions) {
    Bytes body;
    for (int i = 0; i < 6; ++i) put_u8(body, 0);
    put_be16(body, 1);
    put_be16(body, 2);
    put_be16(body, 0);
    put_be32(body, 0);
    put_be16(body, 3);
    put_be16(body, 16);
    put_be16(body, 0xFFFE);
    put_be16(body, 0);
    put_be32(body, 0x10000);
    put_be32(body, 72);
    uint64_t rate_bits;
    std::memcpy(&rate_bits, &rate, sizeof rate_bits);
    put_be64(body, rate_bits);
    put_be32(body, channels);
    put_be32(body, 0x7F000000);
    put_be32(body, bits);
    put_be32(body, flags);
    put_be32(body, bits / 8 * channels);
    put_be32(body, frames_per_packet);
    append(body, extensions);
    Bytes entry;
    put_be32(entry, uint32_t(body.size() + 8));
    put_text(entry, codec);
    append(entry, body);
    return entry;
}

Bytes trak_atom(const TrackAtoms& track) {
    Bytes stbl;
    append(stbl, atom("stsd", track.stsd));
    append(stbl, atom("stts", track.stts));
    append(stbl, atom("stsc", track.stsc));
    append(stbl, atom("stsz", track.stsz));
    append(stbl, atom(track.wide_offsets ? "co64" : "stco", track.stco));
    Bytes minf = atom("stbl", stbl);
    Bytes mdia;
    append(mdia, atom("mdhd", track.mdhd));
    append(mdia, atom("hdlr", hdlr_payload(track.handler)));
    append(mdia, atom("minf", minf));
    Bytes trak;
    append(trak, atom("tkhd", track.tkhd));
    append(trak, atom("mdia", mdia));
    return atom("trak", trak);
}

uint64_t mdat_payload_offset() { return 20 + 8; }

Bytes movie_file(const Bytes& mdat_payload, const std::vector<Bytes>& moov_children) {
    Bytes ftyp;
    put_text(ftyp, "qt  ");
    put_be32(ftyp, 0x200);
    put_text(ftyp, "qt  ");
    Bytes file = atom("ftyp", ftyp);
    append(file, atom("mdat", mdat_payload));
    Bytes moov;
    for (const Bytes& child : moov_children) append(moov, child);
    append(file, atom("moov", moov));
    return file;
}

TrackAtoms simple_video_track(const std::vector<uint32_t>& sizes, uint64_t first_offset, uint32_t timescale,
                              const std::vector<std::pair<uint32_t, uint32_t>>& stts, const std::string& codec) {
    TrackAtoms track;
    track.handler = "vide";
    track.tkhd = tkhd_payload(0, 64, 48);
    uint64_t duration = 0;
    for (auto [count, d] : stts) duration += uint64_t(count) * d;
    track.mdhd = mdhd_payload(0, timescale, duration);
    track.stsd = stsd_payload(video_entry(codec, 24, {}));
    track.stts = stts_payload(stts);
    track.stsz = stsz_payload(0, uint32_t(sizes.size()), sizes);
    track.stsc = stsc_payload({{1, 1}});
    std::vector<uint64_t> offsets;
    uint64_t offset = first_offset;
    for (uint32_t size : sizes) {
        offsets.push_back(offset);
        offset += size;
    }
    track.stco = stco_payload(offsets, false);
    return track;
}

Bytes sized_hap_movie_texture() {
    Bytes texture;
    for (int block = 0; block < 16; ++block) {
        // Two different 565 colours, then every pixel on palette entry 1 or 2.
        append(texture, Bytes{0x1F, 0xF8, 0xE0, 0x07, uint8_t(0x5A + block), 0xA5, 0x5A, 0xA5});
    }
    return texture;
}

Bytes sized_hap_movie(const SizedHapMovie& desc) {
    // One uncompressed DXT1 section: header type 0xAB.
    const Bytes texture = sized_hap_movie_texture();
    Bytes frame = {uint8_t(texture.size()), 0, 0, 0xAB};
    append(frame, texture);
    Bytes mdat;
    for (uint32_t i = 0; i < desc.frames; ++i) append(mdat, frame);
    TrackAtoms video = simple_video_track(std::vector<uint32_t>(desc.frames, uint32_t(frame.size())),
                                          mdat_payload_offset(), 25,
                                          desc.stts.empty() ? decltype(desc.stts){{desc.frames, 1}} : desc.stts);
    if (desc.media_duration != 0)
        video.mdhd = mdhd_payload(desc.media_duration > 0xFFFFFFFFu ? 1 : 0, 25, desc.media_duration);
    video.tkhd = tkhd_payload(0, desc.tkhd_width, desc.tkhd_height);
    video.stsd = stsd_payload(video_entry("Hap1", 24, {}, desc.coded_width, desc.coded_height));
    std::vector<Bytes> traks = {trak_atom(video)};
    if (!desc.sound_entry.empty()) {
        TrackAtoms sound;
        sound.handler = "soun";
        sound.tkhd = tkhd_payload(0, 0, 0);
        sound.mdhd = mdhd_payload(0, 48000, 100);
        sound.stsd = stsd_payload(desc.sound_entry);
        sound.stts = stts_payload({{100, 1}});
        sound.stsz = stsz_payload(1, 100, {});
        sound.stsc = stsc_payload({{1, 100}});
        sound.stco = stco_payload({mdat_payload_offset() + mdat.size()}, false);
        append(mdat, Bytes(100 * size_t(desc.sound_frame_bytes), 0));
        traks.push_back(trak_atom(sound));
    }
    return movie_file(mdat, traks);
}

namespace {

struct Span {
    uint64_t begin, end;
};

bool read_header(const Bytes& file, uint64_t at, uint64_t end, AtomPos* pos, std::string* type) {
    if (end - at < 8) return false;
    uint64_t size = get_be32(file, at);
    uint64_t header = 8;
    if (size == 1) {
        size = uint64_t(get_be32(file, at + 8)) << 32 | get_be32(file, at + 12);
        header = 16;
    } else if (size == 0) {
        size = end - at;
    }
    if (size < header || size > end - at) return false;
    type->assign(reinterpret_cast<const char*>(&file[at + 4]), 4);
    *pos = AtomPos{at, at + header, size};
    return true;
}

std::string handler_of(const Bytes& file, const AtomPos& trak) {
    const AtomPos hdlr = find_atom(Bytes(file.begin() + trak.offset, file.begin() + trak.offset + trak.size),
                                   std::string("#trak/mdia/hdlr"));
    return std::string(reinterpret_cast<const char*>(&file[trak.offset + hdlr.payload + 8]), 4);
}

}  // namespace

AtomPos find_atom(const Bytes& file, const std::string& path) {
    std::string rest = path;
    Span span{0, file.size()};
    // "#trak/..." searches inside a single atom given whole: start within its payload.
    if (!rest.empty() && rest[0] == '#') {
        AtomPos self;
        std::string type;
        if (!read_header(file, 0, file.size(), &self, &type)) throw std::runtime_error("bad atom");
        span = Span{self.payload, self.offset + self.size};
        rest = rest.substr(rest.find('/') + 1);
    }
    AtomPos found;
    std::stringstream steps(rest);
    std::string step;
    while (std::getline(steps, step, '/')) {
        std::string want = step.substr(0, 4);
        std::string handler;
        int index = 0;
        if (step.size() > 5 && step[4] == ':') handler = step.substr(5, 4);
        if (step.size() > 5 && step[4] == '#') index = std::stoi(step.substr(5));
        bool hit = false;
        uint64_t at = span.begin;
        AtomPos pos;
        std::string type;
        while (read_header(file, at, span.end, &pos, &type)) {
            if (type == want && (handler.empty() || handler_of(file, pos) == handler) && index-- == 0) {
                hit = true;
                break;
            }
            at = pos.offset + pos.size;
        }
        if (!hit) throw std::runtime_error("atom not found: " + step + " in " + path);
        found = pos;
        span = Span{pos.payload, pos.offset + pos.size};
    }
    return found;
}

Bytes with_payload(const Bytes& file, const std::string& path, const Bytes& payload) {
    const AtomPos target = find_atom(file, path);
    for (uint64_t at = 0; at < file.size();) {
        AtomPos pos;
        std::string type;
        if (!read_header(file, at, file.size(), &pos, &type)) break;
        if (type == "mdat" && pos.offset > target.offset) throw std::runtime_error("samples after " + path);
        at = pos.offset + pos.size;
    }
    const int64_t grown = int64_t(payload.size()) - int64_t(target.size - (target.payload - target.offset));
    Bytes copy(file.begin(), file.begin() + target.payload);
    append(copy, payload);
    copy.insert(copy.end(), file.begin() + target.offset + target.size, file.end());
    // The atom itself and each one around it on the path.
    for (size_t end = path.find('/'); ; end = path.find('/', end + 1)) {
        const AtomPos around = find_atom(file, path.substr(0, end));
        if (get_be32(file, around.offset) <= 1) throw std::runtime_error("atom without a 32-bit size on " + path);
        set_be32(copy, around.offset, uint32_t(int64_t(around.size) + grown));
        if (end == std::string::npos) break;
    }
    return copy;
}

std::string scratch_path(const std::string& name) {
    const std::string dir = fixture_path("mov_scratch");
    std::filesystem::create_directories(dir);
    return dir + "/" + name;
}

}  // namespace testsupport
