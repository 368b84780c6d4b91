#pragma once
// Access to the movies that FFmpeg makes for the tests, and to their packet lists.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

struct MoviePacket {
    uint64_t offset = 0;
    uint32_t size = 0;
};

// Folder where the fixture script writes its movies.
std::string fixture_dir();
std::string fixture_path(const std::string& name);

// Reads "<movie>.packets" (ffprobe's compact "size=N|pos=M" lines) for a movie
// named without extension; throws when the list is missing or malformed.
std::vector<MoviePacket> read_packet_list(const std::string& movie_name);

// Reads `size` bytes at `offset` of a file; throws on a short read.
std::vector<uint8_t> read_file_bytes(const std::string& path, uint64_t offset, uint64_t size);
std::vector<uint8_t> read_whole_file(const std::string& path);
void write_whole_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace testsupport
