// The built program on a damaged copy of its data set: every hostile file ends
// in what a missing or broken file of its kind gives (the SOUND ERROR screen,
// a skipped image, the settings' defaults), within a bounded time, never a hang.
#include "child_proc.h"
#include "hostile_files.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

enum class Ends {
    closes,       // runs to the scripted close, exit code 0
    sound_error,  // the SOUND ERROR screen ends the program after 30 s, exit code 1
};

struct Row {
    std::string file;  // in the case folder, where the program works
    Hostile kind;
    std::string settings;  // QUORVEL.TXT, when the row writes one
    Ends ends;
    std::string line;  // expected on standard error
};

std::vector<Row> rows()
{
    const std::string sound = "data/sound/bgm01.wav";
    std::vector<Row> out;
    for (const char* file : {"QUORVEL.TXT", "data/texture/tex.lst", "data/texture/icon.png",
                             "data/font/f1632.png", "data/sound/bgm01.wav"}) {
        const Ends ends = file == sound ? Ends::sound_error : Ends::closes;
        for (Hostile kind : {Hostile::folder, Hostile::pipe, Hostile::endless, Hostile::oversized})
            out.push_back({file, kind, "", ends, std::string(file) + "\": "});
    }
    for (const char* image : {"data/texture/icon.png", "data/font/f1632.png"})
        out.push_back({image, Hostile::huge_png, "", Ends::closes,
                       "res: texture \"./" + std::string(image) + "\" skipped"});
    // Each of them alone would take the whole texture budget: refused from
    // its header, so the start neither decodes them nor holds gigabytes.
    out.push_back({"data/texture/tex.lst", Hostile::many_large_pngs, "", Ends::closes,
                   "res: texture \"./data/texture/large16.png\" skipped: its 268435456 bytes "
                   "pass the texture budget"});
    // Volumes far outside 0..100 percent are held to it before any arithmetic.
    for (const char* volumes : {"SOUND_DATA_VOL 40000000", "SOUND_DATA_VOL -40000000",
                                "SOUND_DATA_VOL 50 SOUND_BGM_VOL 40000000"})
        out.push_back({"", Hostile::folder, volumes, Ends::closes, ""});
    return out;
}

// A folder holding the program (bin/quorvel, linked or copied from the build)
// and a copy of its data set: with no data beside it, the program works in the
// folder above its own.
struct CaseFolder {
    fs::path root;
    explicit CaseFolder(const std::string& name)
    {
        const char* dir = std::getenv("QUORVEL_TEST_BINARY_DIR");
        const fs::path build = dir ? dir : ".";
        // Inside the build folder, so that the program can be linked, not copied.
        root = fs::absolute(build / ("hostile_" + name + "_" + std::to_string(::getpid())));
        fs::remove_all(root);
        fs::create_directories(root / "bin");
        std::error_code ec;
        fs::create_hard_link(build / "quorvel", root / "bin/quorvel", ec);
        if (ec) fs::copy_file(build / "quorvel", root / "bin/quorvel");
        fs::copy(build / "data", root / "data", fs::copy_options::recursive);
    }
    ~CaseFolder()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

std::string read_text(const fs::path& p)
{
    std::ostringstream s;
    s << std::ifstream(p).rdbuf();
    return s.str();
}

void PrintTo(const Row& row, std::ostream* os)
{
    *os << (row.file.empty() ? row.settings : row.file + " as " + hostile_name(row.kind));
}

class HostileDataSet : public ::testing::TestWithParam<Row> {};

TEST_P(HostileDataSet, EndsAsAMissingFileOfItsKindWould)
{
    const Row& row = GetParam();
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string name = test.substr(test.find('/') + 1);
    CaseFolder dir(name);
    if (!row.file.empty()) {
        ASSERT_TRUE(make_hostile((dir.root / row.file).string(), row.kind));
    }
    if (!row.settings.empty()) std::ofstream(dir.root / "QUORVEL.TXT") << row.settings;
    // The error screen runs frames too: a scripted close would end it early.
    std::ofstream(dir.root / "close.txt") << (row.ends == Ends::closes ? "60 close\n" : "");
    const pid_t pid =
        spawn_program({{"SDL_VIDEODRIVER", "offscreen"},
                       {"QUORVEL_DIALOGS", "script"},
                       {"QUORVEL_IPC_PREFIX", plat_ipc_prefix() + name},
                       {"QUORVEL_INPUT_SCRIPT", (dir.root / "close.txt").string()}},
                      (dir.root / "stderr.txt").string(), (dir.root / "bin/quorvel").string());
    const auto start = std::chrono::steady_clock::now();
    const int code = finish_child(pid, 120s);
    if (row.ends == Ends::sound_error) {  // the screen's time, not an early failure
        EXPECT_GE(std::chrono::steady_clock::now() - start, 29s);
    }
    const std::string err = read_text(dir.root / "stderr.txt");
    EXPECT_EQ(code, row.ends == Ends::closes ? 0 : 1) << "-2: still running after 120 s\n" << err;
    EXPECT_NE(err.find(row.line), std::string::npos) << err;
    EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileDataSet, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             std::string n =
                                 info.param.file.empty()
                                     ? "volume" + std::to_string(info.index)
                                     : info.param.file + "_" + hostile_name(info.param.kind);
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

}  // namespace
