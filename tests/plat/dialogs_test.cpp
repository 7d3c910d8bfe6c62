// Scripted dialogs: answers in order, defaults when used up, the log line.
#include "plat/dialogs.h"
#include "plat/files.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

namespace {

class PlatDialogs : public ::testing::Test {
protected:
    void script(const char* answers)
    {
        ::setenv("QUORVEL_DIALOG_ANSWERS", answers, 1);
        plat_dialogs_reset_script();
    }
    void TearDown() override
    {
        ::unsetenv("QUORVEL_DIALOG_ANSWERS");
        plat_dialogs_reset_script();
    }
};

TEST_F(PlatDialogs, AnswersAreTakenInOrderThenDefaultsAndSavePathsMadeAbsolute)
{
    script("cancel;cancel;/tmp/pic.bmp;cancel");
    EXPECT_EQ(plat_message_box("t", "c", PLAT_MB_OK), PLAT_IDOK);  // OK-only box
    EXPECT_EQ(plat_message_box("t", "c", PLAT_MB_OKCANCEL), PLAT_IDCANCEL);
    std::string path;
    ASSERT_TRUE(plat_save_dialog("BMP", "*.bmp", &path));
    EXPECT_EQ(path, "/tmp/pic.bmp");
    EXPECT_FALSE(plat_save_dialog("BMP", "*.bmp", &path));
    EXPECT_TRUE(path.empty());
    // Used up: OK and cancel.
    EXPECT_EQ(plat_message_box("t", "c", PLAT_MB_OKCANCEL), PLAT_IDOK);
    EXPECT_FALSE(plat_save_dialog("BMP", "*.bmp", &path));
    script("out\\pic.bmp;;");
    ASSERT_TRUE(plat_save_dialog("BMP", "*.bmp", &path));
    EXPECT_EQ(path, plat_current_dir() + "/out\\pic.bmp");  // a backslash is part of the name
    EXPECT_FALSE(plat_save_dialog("BMP", "*.bmp", &path));  // an empty answer cancels
}

TEST_F(PlatDialogs, EveryDialogWritesOneLogLine)
{
    script("ok;cancel;/x/y.bmp");
    ::testing::internal::CaptureStderr();
    plat_message_box("", "キャンセルしました。", PLAT_MB_OK);
    plat_message_box("/a \"b\"\nc", "上書きしますか？", PLAT_MB_OKCANCEL);
    std::string path;
    plat_save_dialog("BITMAP画像 (*.bmp)", "*.bmp", &path);
    plat_save_dialog("BITMAP画像 (*.bmp)", "*.bmp", &path);
    EXPECT_EQ(plat_message_box(nullptr, nullptr, PLAT_MB_OK), PLAT_IDOK);  // null texts are empty
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(log, "dialog: message \"キャンセルしました。\" \"\" -> ok\n"
                   "dialog: question \"上書きしますか？\" \"/a \\\"b\\\"\\nc\" -> cancel\n"
                   "dialog: save \"Save As\" \"BITMAP画像 (*.bmp)\" -> /x/y.bmp\n"
                   "dialog: save \"Save As\" \"BITMAP画像 (*.bmp)\" -> cancel\n"
                   "dialog: message \"\" \"\" -> ok\n");
}

// The body says what a box is about even where no title bar is shown.
TEST_F(PlatDialogs, BodyShowsTheCaptionOverTheText)
{
    for (auto [text, caption, headline, detail] :
         {std::array<const char*, 4>{"", "キャンセル", "キャンセル", ""},
          {"/a/b.bmp", "上書きしますか？", "上書きしますか？", "/a/b.bmp"},
          {"msg[x.cpp:3]", nullptr, "msg[x.cpp:3]", ""}}) {
        const PlatBoxBody b = plat_message_box_body(text, caption);
        EXPECT_EQ(b.headline + "|" + b.detail, std::string(headline) + "|" + detail);
    }
}

}  // namespace
