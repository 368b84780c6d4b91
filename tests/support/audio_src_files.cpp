#include "tests/support/audio_src_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <stdexcept>

#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"

namespace testsupport {

std::string audio_src_temp_dir() {
    static const std::string dir = [] {
        std::string pattern = testing::TempDir() + "audio_src_XXXXXX";
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        return pattern;
    }();
    return dir;
}

std::string copy_fixture_as(const std::string& fixture, const std::string& name) {
    const std::string path = audio_src_temp_dir() + "/" + name;
    write_whole_file(path, read_whole_file(fixture_path(fixture)));
    return path;
}

std::string write_pcm_wav(const std::string& name, uint16_t channels, uint32_t frequency, uint16_t bits,
                          bool is_float, uint32_t frames) {
    const uint32_t block = uint32_t(channels) * (bits / 8);
    const uint32_t data_size = block * frames;
    Bytes out;
    put_text(out, "RIFF");
    put_le32(out, 36 + data_size);
    put_text(out, "WAVE");
    put_text(out, "fmt ");
    put_le32(out, 16);
    put_le16(out, is_float ? 3 : 1);
    put_le16(out, channels);
    put_le32(out, frequency);
    put_le32(out, frequency * block);
    put_le16(out, uint16_t(block));
    put_le16(out, bits);
    put_text(out, "data");
    put_le32(out, data_size);
    for (uint32_t i = 0; i < data_size; ++i) out.push_back(uint8_t(i * 7 + 1));
    const std::string path = audio_src_temp_dir() + "/" + name;
    write_whole_file(path, out);
    return path;
}

}  // namespace testsupport
