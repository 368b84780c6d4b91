#pragma once
// A parsed movie for the tests: MovFile::parse on a path, with the record freed at
// the end, the thrown text (if any) and what the parser printed kept. Header-only so
// that the support library needs no link to the media library.
#include <gtest/gtest.h>

#include <exception>
#include <string>

#include "media/mov_file.h"

namespace testsupport {

inline std::u16string to_u16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

struct ParsedMovie {
    MovFile movie;
    std::string error;   // what() of the exception the parse threw, "" when it succeeded
    std::string output;  // what the parser printed

    explicit ParsedMovie(const std::string& path) {
        MovFile::init(&movie);
        const std::u16string wide = to_u16(path);
        testing::internal::CaptureStdout();
        try {
            MovFile::parse(&movie, wide.c_str());
        } catch (const std::exception& e) {
            error = e.what();
        }
        output = testing::internal::GetCapturedStdout();
    }
    ~ParsedMovie() {
        MovFile::closeFile(&movie);
        MovFile::free(&movie);
    }
    ParsedMovie(const ParsedMovie&) = delete;
    ParsedMovie& operator=(const ParsedMovie&) = delete;
};

}  // namespace testsupport
