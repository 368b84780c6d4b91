#pragma once
// UTF-16 to UTF-8 conversion for text and paths that arrive as 16-bit strings.
#include <string>

namespace platform {

// Converts a null-terminated UTF-16 string. Returns false on a null pointer or an
// unpaired surrogate (the string is not valid UTF-16); `out` is then left empty.
bool utf16_to_utf8(const char16_t* text, std::string& out);

}  // namespace platform
