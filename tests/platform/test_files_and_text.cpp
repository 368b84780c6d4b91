#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/file_utf8.h"
#include "platform/text_utf.h"

namespace {
std::filesystem::path scratch_dir() {
    auto dir = std::filesystem::temp_directory_path() / ("platform_tests_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}
}  // namespace

TEST(TextUtf, Utf16ToUtf8CoversAllEncodingLengths) {
    std::string out;
    ASSERT_TRUE(platform::utf16_to_utf8(u"A\u00e9\u20ac\U00010348", out));
    EXPECT_EQ(out, "A\xc3\xa9\xe2\x82\xac\xf0\x90\x8d\x88");
    ASSERT_TRUE(platform::utf16_to_utf8(u"", out));
    EXPECT_TRUE(out.empty());
    const char16_t swapped_pair[] = {0xDF48, 0xD800, 0};
    EXPECT_FALSE(platform::utf16_to_utf8(swapped_pair, out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(platform::utf16_to_utf8(nullptr, out));
}

TEST(FileUtf8, OpensNonAsciiPathsFromUtf16) {
    const auto dir = scratch_dir();
    const std::u16string name = u"clip_\u00e9\u65e5.mov";
    std::string utf8;
    ASSERT_TRUE(platform::utf16_to_utf8(name.c_str(), utf8));
    const auto path = dir / utf8;
    {
        std::FILE* f = platform::fopen_utf8(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("hello", f);
        std::fclose(f);
    }
    const std::u16string full = dir.u16string() + u"/" + name;
    std::FILE* f = platform::fopen_utf16(full.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[6] = {};
    EXPECT_EQ(std::fread(buf, 1, 5, f), 5u);
    EXPECT_STREQ(buf, "hello");
    std::fclose(f);

    errno = 0;
    EXPECT_EQ(platform::fopen_utf8((dir / "missing.mov").c_str(), "rb"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    char text[128];
    EXPECT_STREQ(platform::error_text(ENOENT, text, sizeof text), "No such file or directory");
    std::filesystem::remove_all(dir);
}

TEST(FileUtf8, SeeksAndTellsPastFourGigabytes) {
    const auto dir = scratch_dir();
    const auto path = dir / "sparse.bin";
    const int64_t far = (int64_t(5) << 30) + 12345;  // 5 GiB: sparse, costs no disk
    {
        int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "Z", 1, far), 1);
        ::close(fd);
    }
    std::FILE* f = platform::fopen_utf8(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(platform::fseek64(f, far, SEEK_SET), 0);
    EXPECT_EQ(platform::ftell64(f), far);
    EXPECT_EQ(std::fgetc(f), 'Z');
    ASSERT_EQ(platform::fseek64(f, 0, SEEK_END), 0);
    EXPECT_EQ(platform::ftell64(f), far + 1);
    std::fclose(f);
    std::filesystem::remove_all(dir);
}
