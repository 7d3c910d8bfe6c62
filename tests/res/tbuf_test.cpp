// The growable text buffer (append, write, insert, seek, lines, save) and the two-slot lock table.
#include "res/tbuf.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Buf {
    TextBuf* b = tbuf_create();
    ~Buf() { tbuf_free(b); }
};

}  // namespace

TEST(TextBuf, AppendAfterSeekFitsAtTheEnd)
{
    // The block grows in steps, and the room is measured from the text's end: a cursor
    // moved back must not let an append write past the block.
    Buf t;
    ASSERT_NE(t.b, nullptr);
    EXPECT_EQ(t.b->capacity, 0x10000u);
    std::string nearly(0xFFF0, 'a');
    EXPECT_EQ(tbuf_append(nearly.c_str(), t.b), 0);
    EXPECT_EQ(tbuf_tell(t.b), 0xFFF0u);
    tbuf_seek(t.b, 0, 0);
    std::string more(100, 'b');
    EXPECT_EQ(tbuf_append(more.c_str(), t.b), 0);
    EXPECT_EQ(std::tuple(tbuf_length(t.b), t.b->capacity, tbuf_text(t.b)[0xFFF0 + 99]),
              std::tuple(0xFFF0u + 100, 0x20000u, 'b'));
}

TEST(TextBuf, WriteEndsTheTextAtTheCursorInsertKeepsTheRest)
{
    Buf t, u, other;
    tbuf_append("hello world", t.b);
    tbuf_seek(t.b, 5, 0);
    EXPECT_EQ(tbuf_write_fmt(t.b, "%d", 42), 0);
    EXPECT_STREQ(tbuf_text(t.b), "hello42");
    EXPECT_EQ(tbuf_tell(t.b), 7u);
    std::string long_arg(3000, 'z');
    tbuf_write_fmt(t.b, "%s", long_arg.c_str());
    EXPECT_EQ(tbuf_length(t.b), 7u + 1024u);
    tbuf_append("ABCDE", u.b);
    tbuf_append("0123456789", other.b);
    tbuf_seek(u.b, 2, 0);
    EXPECT_EQ(tbuf_insert_buf(u.b, other.b), 1);
    EXPECT_STREQ(tbuf_text(u.b), "AB0123456789CDE");
    EXPECT_EQ(tbuf_tell(u.b), 12u);
    EXPECT_EQ(tbuf_insert_fmt(u.b, "<%s>", "x"), 0);
    EXPECT_STREQ(tbuf_text(u.b), "AB0123456789<x>CDE");
}

TEST(TextBuf, SeekWrapsAndEndsOnAnEmptyText)
{
    Buf t;
    EXPECT_TRUE(tbuf_seek(t.b, 0, 2));  // position -1 on an empty text
    EXPECT_EQ(tbuf_tell(t.b), 0u);
    EXPECT_FALSE(tbuf_seek(t.b, 0, 0));
    EXPECT_TRUE(tbuf_seek(t.b, 5, 1));
    tbuf_append("abcd", t.b);
    EXPECT_FALSE(tbuf_seek(t.b, 0, 2));
    EXPECT_EQ(tbuf_tell(t.b), 3u);
    EXPECT_TRUE(tbuf_seek(t.b, 1, 2));
    EXPECT_EQ(tbuf_tell(t.b), 0u);
    EXPECT_TRUE(tbuf_seek(t.b, -1, 0));
    EXPECT_EQ(tbuf_tell(t.b), 3u);
    EXPECT_TRUE(tbuf_seek(t.b, 1000001, 0));
    EXPECT_EQ(tbuf_tell(t.b), 1u);
}

TEST(TextBuf, ReadLineAndSave)
{
    Buf t, saved;
    char line[8];
    EXPECT_EQ(tbuf_read_line(line, 7, t.b), nullptr);
    tbuf_append("ab\r\ncdefghijk", t.b);
    tbuf_seek(t.b, 0, 0);
    std::vector<std::string> lines;
    for (const char* l; lines.size() < 9 && (l = tbuf_read_line(line, 7, t.b));) lines.push_back(l);
    EXPECT_EQ(lines, (std::vector<std::string>{"ab\n", "\n", "cdefghi", "jk"}));
    tbuf_append("line\n", saved.b);
    TempDir dir;
    tbuf_save(saved.b, "%s/save_%d.txt", dir.file("").c_str(), 1);
    tbuf_save(saved.b, "%s/missing/x.txt", dir.file("").c_str());  // makes no folder, no file
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("")), {}), 1);
    EXPECT_EQ(dir.read("save_1.txt"), "line\n");
}

TEST(SlotLock, ReaderTakesNewestFree)
{
    SlotLock t{};
    EXPECT_EQ(slot_lock_acquire(&t, SLOT_WRITER, 1), 0);  // not live yet
    slot_lock_init(&t);
    EXPECT_EQ(slot_lock_acquire(&t, SLOT_READER, 0), 0);
    slot_lock_release(&t, SLOT_READER, 0);
    EXPECT_EQ(slot_lock_acquire(&t, SLOT_WRITER, 1), 1);
    EXPECT_EQ(slot_lock_acquire(&t, SLOT_READER, 0), 0);  // not the slot being written
    slot_lock_release(&t, SLOT_READER, 0);
    slot_lock_release(&t, SLOT_WRITER, 1);
    EXPECT_EQ(slot_lock_acquire(&t, SLOT_READER, 0), 1);  // slot 1 is newer
    EXPECT_EQ(slot_lock_acquire(&t, SLOT_READER, 0), 0);  // slot 1 busy
    // Slots other than 0 and 1 and unknown modes come back unchanged and free no slot.
    EXPECT_EQ(slot_lock_acquire(&t, SLOT_WRITER, 7), 7);
    EXPECT_EQ(slot_lock_acquire(&t, 5, 3), 3);
    slot_lock_release(&t, SLOT_WRITER, 7);
    EXPECT_TRUE(t.slot[0].busy && t.slot[1].busy);
    slot_lock_term(&t);
    EXPECT_EQ(slot_lock_acquire(&t, SLOT_READER, 1), 0);
}
