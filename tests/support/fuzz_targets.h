#pragma once
// Bodies of the fuzz targets. libFuzzer drives them in the fuzz build (tests/fuzz/);
// the ordinary test suite runs them over damaged copies of real files, so the
// sanitizer build checks the same paths on every run.
#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

// Decodes both possible textures of arbitrary frame bytes with both callbacks.
int fuzz_hap_decode(const uint8_t* data, size_t size);

// Parses a movie file and reads the start of every PCM track; true when it parsed.
bool mov_parse_and_read(const std::string& path);
// The same on bytes: they are written to a scratch file first.
int fuzz_mov_parse(const uint8_t* data, size_t size);

// Opens a WAV/RF64 file and reads its first and last frames; true when it opened.
bool wav_open_and_read(const std::string& path);
int fuzz_wav_open(const uint8_t* data, size_t size);

// Opens a movie as the player does (FileToPlay) and uses every part of it: its texts,
// the first frames read, decoded and turned into RGBA, its audio sources created and
// read both ways, and the file checker over the same frames. True when it opened
// without an error text.
bool file_to_play_exercise(const std::string& path);
int fuzz_file_to_play(const uint8_t* data, size_t size);

}  // namespace testsupport
