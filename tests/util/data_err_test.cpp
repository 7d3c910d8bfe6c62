// The line of a fatal data error: the reason for a missing file, and the
// line's shape, escaped whole as written.
#include <gtest/gtest.h>

#include "temp_dir.h"
#include "util/data_err.h"

#include <filesystem>

namespace {

TEST(DataErr, AMissingFileNamesTheFirstMissingFolderAndTheLineIsWrittenWholeEscaped)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("data/sound"));
    const std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(dir.file(""));
    const std::string here = std::filesystem::current_path().string();
    const std::pair<std::string, std::string> rows[] = {
        {"data/sound/bgm01.wav", "no such file"},
        {"data\\sound\\bgm01.wav", "no such file"},
        {"./data/grp/a.bin", "no folder \"./data/grp\" in \"" + here + "\""},
        {"gone/sound/bgm01.wav", "no folder \"gone\" in \"" + here + "\""},
        {"bgm01.wav", "no such file"},
        {dir.file("gone\n/x.wav"), "no folder \"" + dir.file("gone\n") + "\""},
    };
    for (const auto& [path, reason] : rows) EXPECT_EQ(data_err_missing(path), reason) << path;
    std::filesystem::current_path(old);
    const std::string line =
        data_err_text("res: group not loaded", ".\\data\\grp\\a\nb.bin", "no folder \"\x1b[2J\"");
    EXPECT_EQ(line, "res: group not loaded \"./data/grp/a\nb.bin\": no folder \"\x1b[2J\"");
    ::testing::internal::CaptureStderr();
    data_err_write(line);
    data_err_write("");  // nothing: the file layer wrote the line already
    data_err_write(std::string("chunk \"A") + '\0' + "B\"");  // a magic's zero byte ends nothing
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "res: group not loaded \"./data/grp/a\\nb.bin\": no folder \"\\x1b[2J\"\n"
              "chunk \"A\\x00B\"\n");
}

}  // namespace
