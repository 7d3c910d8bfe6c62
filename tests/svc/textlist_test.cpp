// The text draw lists: the record layout, slots running out and coming back, bad slot indices.
#include "svc/textlist.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// The number of records before a list's end byte; -1 for no list.
int records(const uint8_t* buf)
{
    int n = buf ? 0 : -1;
    for (size_t at = 0; buf && buf[at] == TEXTLIST_RECORD_MARK; ++n) {
        uint32_t field;
        std::memcpy(&field, buf + at + 36, 4);  // the record's field size
        at += TEXTLIST_HEADER_SIZE + field;
    }
    return n;
}

class TextListTest : public ::testing::Test {
protected:
    void SetUp() override { textlist_clear_all(); }
    void TearDown() override { textlist_free_all(); }
};

TEST_F(TextListTest, RecordLayout)
{
    int32_t s = textlist_create(1024);
    ASSERT_EQ(s, 0);
    textlist_printf(s, TEXTLIST_ALIGN_CENTRE_X | TEXTLIST_ALIGN_BOTTOM, 3, 24, -5, 480, 0x80FF0102u,
                    "a%dc", 7);
    const uint8_t* b = textlist_get(s);
    ASSERT_NE(b, nullptr);
    // Mark, font, colour, align, size twice, x, y, text length, field size.
    std::vector<uint32_t> head(10);
    std::memcpy(head.data(), b, 40);
    EXPECT_EQ(head, (std::vector<uint32_t>{'H' | 40 << 16, 3, 0x80FF0102u, 6, 24, 24, uint32_t(-5),
                                           480, 3, 4}));
    EXPECT_EQ(std::memcmp(b + 40, "a7c\0E", 5), 0);
}

TEST_F(TextListTest, FirstWritesSlotZeroAndResetEmptiesAList)
{
    int32_t s0 = textlist_create(256);
    int32_t s1 = textlist_create(256);
    textlist_printf_first(1, 2, 3, "zero");
    EXPECT_EQ(std::pair(records(textlist_get(s0)), textlist_get(s1)[0]),
              std::pair(1, TEXTLIST_END_MARK));  // a new list holds its end byte alone
    int32_t s = textlist_create(512);
    textlist_printf_plain(s, "one");
    textlist_reset(s);
    EXPECT_EQ(textlist_get(s)[0], 'E');
    textlist_printf_plain(s, "two");
    EXPECT_EQ(records(textlist_get(s)), 1);
}

TEST_F(TextListTest, SlotsRunOutAndComeBackAndBadSlotsAreIgnored)
{
    for (int k = 0; k < TEXTLIST_SLOTS; ++k) EXPECT_EQ(textlist_create(64), k);
    EXPECT_EQ(textlist_create(64), -1);
    textlist_free(5);
    EXPECT_EQ(textlist_get(5), nullptr);
    EXPECT_EQ(textlist_create(64), 5);
    textlist_free_all();
    int32_t bad = textlist_create(1u << 31 | 1u);  // may fail to allocate: -1
    if (bad >= 0) textlist_free(bad);
    const int32_t live = textlist_create(256);
    textlist_printf_plain(live, "kept");
    for (int32_t s : {-1, 16, 1000, 3, INT32_MIN}) {
        textlist_reset(s);
        textlist_printf_plain(s, "x");
        textlist_free(s);
        EXPECT_EQ(textlist_get(s), nullptr);
    }
    EXPECT_EQ(records(textlist_get(live)), 1) << "a bad slot reached a live list";
    EXPECT_EQ(textlist_create(0), -1);
    EXPECT_EQ(textlist_create(7), -1) << "capacity - margin would wrap";
    EXPECT_EQ(textlist_create(TEXTLIST_MIN_CAPACITY - 1), -1);
    int32_t tiny = textlist_create(TEXTLIST_MIN_CAPACITY);
    ASSERT_GE(tiny, 0);
    textlist_printf_plain(tiny, "abcdefgh");
    textlist_printf_plain(tiny, "%s", "");
    textlist_printf_plain(tiny, "%s", "");
    const uint8_t* t = textlist_get(tiny);  // t[32]: the first record's text length
    EXPECT_EQ(std::pair(records(t), t[32]), std::pair(1, uint8_t(0)))
        << "the smallest list holds one empty record";
}

}  // namespace
