#include "base/formats/wstr_to_utf8.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/text_utf.h"

char* wstr_to_utf8(const char16_t* text) noexcept {
    try {
        std::string utf8;
        if (!platform::utf16_to_utf8(text, utf8) || utf8.empty()) return nullptr;
        char* copy = static_cast<char*>(std::malloc(utf8.size() + 1));
        if (!copy) return nullptr;
        std::memcpy(copy, utf8.c_str(), utf8.size() + 1);
        return copy;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
