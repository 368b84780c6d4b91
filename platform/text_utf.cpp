#include "platform/text_utf.h"

namespace platform {

namespace {
void append_code_point(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}
}  // namespace

bool utf16_to_utf8(const char16_t* text, std::string& out) {
    out.clear();
    if (!text) return false;
    for (const char16_t* p = text; *p; ++p) {
        char32_t unit = *p;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            char32_t low = p[1];
            if (low < 0xDC00 || low > 0xDFFF) {
                out.clear();
                return false;
            }
            ++p;
            append_code_point(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            out.clear();
            return false;
        } else {
            append_code_point(out, unit);
        }
    }
    return true;
}

}  // namespace platform
