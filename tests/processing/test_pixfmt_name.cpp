#include <gtest/gtest.h>

#include <set>
#include <string>

#include "media/pix_descriptor.h"
#include "base/formats/pixfmt_name.h"

TEST(PixfmtName, NamesOfTheTableEndsAndSpecialFormats) {
    EXPECT_STREQ(pixfmt_name(0), "Packed ARGB8");
    EXPECT_STREQ(pixfmt_name(1), "Packed RGBA8");
    EXPECT_STREQ(pixfmt_name(21), "Planar Grey 32f bits LE");
    EXPECT_STREQ(pixfmt_name(25), "Planar YUVA 422");
    EXPECT_STREQ(pixfmt_name(35), "Packed V210 (42210LE)");
    EXPECT_STREQ(pixfmt_name(36), "Packed UYVY A (422)");
    EXPECT_STREQ(pixfmt_name(38), "Packed CMYKA8");
    EXPECT_STREQ(pixfmt_name(39), "Undefined (Unknown)");
}

TEST(PixfmtName, CodesPastTheTableAreUnknown) {
    EXPECT_STREQ(pixfmt_name(40), "Unknown pix fmt");
    EXPECT_STREQ(pixfmt_name(0xFFFFFFFFu), "Unknown pix fmt");
}

TEST(PixfmtName, EveryCodeHasItsOwnNameMatchingItsDescriptorKind) {
    std::set<std::string> names;
    for (uint32_t code = 0; code < 39; ++code) {
        const std::string name = pixfmt_name(code);
        names.insert(name);
        const PixDescriptor d = get_pix_descriptor(code);
        // The name's first word tells the layout the descriptor must have.
        if (name.rfind("Planar", 0) == 0) {
            EXPECT_TRUE(d.flags & PixFlag_Planar) << name;
        } else {
            EXPECT_TRUE(d.flags & PixFlag_Packed) << name;
        }
        bool named_alpha = false;
        for (const char* word : {"RGBA", "ARGB", "YUVA", "UYVY A", "CMYKA"})
            named_alpha = named_alpha || name.find(word) != std::string::npos;
        EXPECT_EQ(named_alpha, (d.flags & PixFlag_Alpha) != 0) << name;
    }
    EXPECT_EQ(names.size(), 39u);
}
