#include <gtest/gtest.h>

#include <cstdlib>

#include "base/formats/wstr_to_utf8.h"

TEST(WstrToUtf8, ConvertsBasicAndSupplementaryCharacters) {
    char* text = wstr_to_utf8(u"Clip \u00e9t\u00e9 \u65e5\u672c \U0001F3AC.mov");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Clip \xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x8e\xac.mov");
    std::free(text);
}

TEST(WstrToUtf8, NoTextGivesNull) {
    EXPECT_EQ(wstr_to_utf8(nullptr), nullptr);
    EXPECT_EQ(wstr_to_utf8(u""), nullptr);
    const char16_t lone_high[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(wstr_to_utf8(lone_high), nullptr);
    const char16_t lone_low[] = {0xDC00, 0};
    EXPECT_EQ(wstr_to_utf8(lone_low), nullptr);
}
