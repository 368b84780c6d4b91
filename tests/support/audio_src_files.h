#pragma once
// Companion-file helpers for the audio-source tests: copies of the FFmpeg fixtures
// under other names (the name decides a mono file's routing) and hand-made WAV files
// with formats FFmpeg does not write.
#include <cstdint>
#include <string>

namespace testsupport {

// A folder of its own for this test program, made once.
std::string audio_src_temp_dir();

// Copies fixture `fixture` to `name` in the temporary folder and returns the new path.
std::string copy_fixture_as(const std::string& fixture, const std::string& name);

// Writes a plain PCM (tag 1) or float (tag 3) WAV of `frames` frames whose bytes are
// a counting pattern, and returns its path in the temporary folder.
std::string write_pcm_wav(const std::string& name, uint16_t channels, uint32_t frequency, uint16_t bits,
                          bool is_float, uint32_t frames);

}  // namespace testsupport
