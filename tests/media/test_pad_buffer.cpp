#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "media/pad_buffer.h"

namespace {
std::string error_of(PadBuffer* buffer, uint32_t size) {
    try {
        PadBuffer::alloc(buffer, size);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}
}  // namespace

TEST(PadBuffer, GrowsOnlyWhenTheRequestDoesNotFit) {
    PadBuffer b;
    PadBuffer::init(&b);
    EXPECT_EQ(b.data, nullptr);
    PadBuffer::alloc(&b, 200);
    ASSERT_NE(b.data, nullptr);
    EXPECT_EQ(b.capacity, 200u);
    std::memset(b.data, 0x5A, 200);
    b.length = 200;

    uint8_t* const first = b.data;
    PadBuffer::alloc(&b, 100);
    EXPECT_EQ(b.data, first);
    EXPECT_EQ(b.capacity, 200u);
    EXPECT_EQ(b.data[199], 0x5A);  // contents kept when the block is kept
    EXPECT_EQ(b.length, 200u);     // the owner keeps the length
    PadBuffer::alloc(&b, 200);
    EXPECT_EQ(b.data, first);

    PadBuffer::alloc(&b, 300);
    EXPECT_EQ(b.capacity, 300u);
    b.data[299] = 1;  // the whole new block is usable (ASan checks)

    PadBuffer::free(&b);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.capacity, 0u);
    PadBuffer::free(&b);
    PadBuffer::free(nullptr);
}

TEST(PadBuffer, PaddingAfterTheSizeIsZeroed) {
    PadBuffer b;
    PadBuffer::init(&b);
    b.padding = 16;
    PadBuffer::alloc(&b, 100);
    EXPECT_EQ(b.capacity, 116u);
    for (int i = 100; i < 116; ++i) EXPECT_EQ(b.data[i], 0) << i;
    std::memset(b.data, 0xFF, b.capacity);
    uint8_t* const block = b.data;
    PadBuffer::alloc(&b, 40);  // kept block: the padding moves down with the size
    EXPECT_EQ(b.data, block);
    EXPECT_EQ(b.data[39], 0xFF);
    for (int i = 40; i < 56; ++i) EXPECT_EQ(b.data[i], 0) << i;
    EXPECT_EQ(b.data[56], 0xFF);
    PadBuffer::free(&b);
}

TEST(PadBuffer, RefusesSizesWithoutRoomForPaddingAndNullBuffers) {
    PadBuffer b;
    PadBuffer::init(&b);
    EXPECT_EQ(error_of(&b, 4294967295u),
              "Alloc buffer : Taille demandee ne laisse pas la place au padding : New size : 4294967295 ; padding : 0");
    b.padding = 5;
    EXPECT_EQ(error_of(&b, 4294967290u),
              "Alloc buffer : Taille demandee ne laisse pas la place au padding : New size : 4294967290 ; padding : 5");
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(error_of(nullptr, 10), "buf obj est null");

    // A zero-byte request owns a block too, and free releases it (LeakSanitizer checks).
    b.padding = 0;
    PadBuffer::alloc(&b, 0);
    EXPECT_NE(b.data, nullptr);
    EXPECT_EQ(b.capacity, 0u);
    PadBuffer::alloc(&b, 8);
    EXPECT_EQ(b.capacity, 8u);
    PadBuffer::free(&b);
}
