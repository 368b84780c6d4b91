#pragma once
// Checks that an operation throws std::runtime_error with exactly the given text.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

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

// Fails the test unless `call` throws std::runtime_error whose text is `text`.
template <class Call>
void expect_runtime_error(Call&& call, const char* text) {
    EXPECT_EQ(runtime_error_text(std::forward<Call>(call)), std::string(text));
}

#define EXPECT_RUNTIME_ERROR(statement, text) \
    EXPECT_EQ(::testsupport::runtime_error_text([&] { statement; }), std::string(text))

}  // namespace testsupport
