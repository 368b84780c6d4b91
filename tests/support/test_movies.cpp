#include "tests/support/test_movies.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

std::string fixture_dir() { return HAP_FIXTURE_DIR; }

std::string fixture_path(const std::string& name) { return fixture_dir() + "/" + name; }

std::vector<MoviePacket> read_packet_list(const std::string& movie_name) {
    std::ifstream in(fixture_path(movie_name + ".packets"));
    if (!in) throw std::runtime_error("missing packet list for " + movie_name);
    std::vector<MoviePacket> packets;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        MoviePacket packet;
        bool has_size = false, has_pos = false;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '|')) {
            const auto eq = field.find('=');
            if (eq == std::string::npos) continue;
            const std::string key = field.substr(0, eq);
            const std::string value = field.substr(eq + 1);
            if (key == "size") {
                packet.size = static_cast<uint32_t>(std::stoul(value));
                has_size = true;
            } else if (key == "pos") {
                packet.offset = std::stoull(value);
                has_pos = true;
            }
        }
        if (!has_size || !has_pos) throw std::runtime_error("bad packet line: " + line);
        packets.push_back(packet);
    }
    return packets;
}

std::vector<uint8_t> read_file_bytes(const std::string& path, uint64_t offset, uint64_t size) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<uint8_t> bytes(size);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (static_cast<uint64_t>(in.gcount()) != size) throw std::runtime_error("short read of " + path);
    return bytes;
}

std::vector<uint8_t> read_whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw std::runtime_error("cannot open " + path);
    const auto size = static_cast<uint64_t>(in.tellg());
    return read_file_bytes(path, 0, size);
}

void write_whole_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace testsupport
