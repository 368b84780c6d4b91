#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/file_access.h"
#include "tests/support/expect_error.h"


TEST(FileReadAt, ReadsExactlyAtTheOffset) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 200; ++i) std::fputc(i, f);
    unsigned char buf[10] = {};
    file_read_at(f, buf, 150, 10);
    EXPECT_EQ(buf[0], 150);
    EXPECT_EQ(buf[9], 159);
    file_read_at(f, buf, 3, 1);
    EXPECT_EQ(buf[0], 3);

    testing::internal::CaptureStdout();
    EXPECT_EQ(testsupport::runtime_error_text([&] {
                  std::vector<unsigned char> big(100);
                  file_read_at(f, big.data(), 160, 100);
              }),
              "File read error");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Nb bytes read request : 100. Nb bytes read : 40\n");
    std::fclose(f);
}

TEST(FileReadAt, OffsetsBeyondSigned64BitsAreRefused) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    unsigned char b;
    EXPECT_EQ(testsupport::runtime_error_text([&] { file_read_at(f, &b, 9223372036854775807ull, 1); }),
              "Seek from start error (offset > INT64_MAX) : 9223372036854775807. INT64_MAX : 9223372036854775807. ");
    EXPECT_EQ(testsupport::runtime_error_text([&] { file_read_at(f, &b, 18446744073709551615ull, 1); }),
              "Seek from start error (offset > INT64_MAX) : 18446744073709551615. INT64_MAX : 9223372036854775807. ");
    std::fclose(f);
}

TEST(FileReadAt, SeekFailureIsReported) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::FILE* f = fdopen(fds[0], "rb");  // a pipe cannot seek
    ASSERT_NE(f, nullptr);
    unsigned char b;
    EXPECT_EQ(testsupport::runtime_error_text([&] { file_read_at(f, &b, 10, 1); }),
              "Seek from start error (return != 0) : -1. Offset from start : 10. ");
    std::fclose(f);
    close(fds[1]);
}
