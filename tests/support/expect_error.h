#pragma once
// Checks that an operation throws std::runtime_error with exactly the given text.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace testsupport {

// The text of the std::runtime_error that `operation` throws, or "no error".
inline std::string runtime_error_text(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

#define EXPECT_RUNTIME_ERROR(statement, text) \
    EXPECT_EQ(::testsupport::runtime_error_text([&] { statement; }), std::string(text))

}  // namespace testsupport
