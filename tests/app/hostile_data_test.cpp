// The built program on a damaged copy of its data set: every hostile file ends
// in what a missing or broken file of its kind gives (the fatal error screen,
// a skipped image, the settings' defaults), within a bounded time, never a
// hang; and every fatal error writes its one line, naming the file and the
// reason, before the screen.
#include "child_proc.h"
#include "hostile_files.h"
#include "test_files.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

enum class Ends {
    closes,        // runs to the scripted close, exit code 0
    error_screen,  // the fatal error screen ends the program after 30 s, exit code 1
};

using Damage = std::function<bool(const fs::path& root)>;
using Env = std::vector<std::pair<std::string, std::string>>;

struct Row {
    std::string name;
    Damage damage;         // done to the case folder's copy of the data set
    std::string settings;  // QUORVEL.TXT, when the row writes one
    Ends ends;
    std::string line;        // expected on standard error; "<root>" is the case folder
    bool only_line = false;  // and it is all that standard error holds
    Env env = {};            // beside the test's own environment
};

void write_bytes(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

Damage hostile(const std::string& file, Hostile kind)
{
    return [=](const fs::path& root) { return make_hostile((root / file).string(), kind); };
}

Damage nothing()
{
    return [](const fs::path&) { return true; };
}

Damage removed(const std::string& file)
{
    return [=](const fs::path& root) { return fs::remove_all(root / file) > 0; };
}

// A group file whose one model chunk is smaller than a model's fixed part.
Damage short_model(const std::string& file)
{
    return [=](const fs::path& root) {
        write_bytes(root / file, std::string("ZQT \0\0\0\x02\x04\0\0\0\0\0\0\0", 16));
        return true;
    };
}

// A broken image under a name that would retitle and clear a terminal, listed
// under the texture list's last category.
const std::string TERMINAL_COMMANDS = "\x1b]0;TITLE\x07\x1b[2J";

bool hostile_texture_name(const fs::path& root)
{
    std::ofstream(root / "data/texture/tex.lst", std::ios::app)
        << "\ntex " << TERMINAL_COMMANDS << "\n";
    write_bytes(root / "data/texture" / TERMINAL_COMMANDS, "not an image");
    return true;
}

// Copies of a group with a texture: more groups than the default group pool holds.
bool many_groups(const fs::path& root)
{
    for (int i = 0; i < 150; i++) {
        char name[16];
        std::snprintf(name, sizeof name, "g%03d.bin", i);
        if (!fs::copy_file(root / "data/grp/beachball.bin", root / "data/grp" / name)) return false;
    }
    return true;
}

std::vector<Row> rows()
{
    const std::string sound = "data/sound/bgm01.wav";
    std::vector<Row> out;
    for (const char* file : {"QUORVEL.TXT", "data/texture/tex.lst", "data/texture/icon.png",
                             "data/font/f1632.png", "data/sound/bgm01.wav"}) {
        const Ends ends = file == sound ? Ends::error_screen : Ends::closes;
        for (Hostile kind : {Hostile::folder, Hostile::pipe, Hostile::endless, Hostile::oversized})
            out.push_back({std::string(file) + "_" + hostile_name(kind), hostile(file, kind), "",
                           ends, std::string(file) + "\": "});
    }
    for (const char* image : {"data/texture/icon.png", "data/font/f1632.png"})
        out.push_back({std::string(image) + "_huge_png", hostile(image, Hostile::huge_png), "",
                       Ends::closes, "res: texture \"./" + std::string(image) + "\" skipped"});
    // Each of them alone would take the whole texture budget: refused from
    // its header, so the start neither decodes them nor holds gigabytes.
    out.push_back({"data/texture/tex.lst_many_large_pngs",
                   hostile("data/texture/tex.lst", Hostile::many_large_pngs), "", Ends::closes,
                   "res: texture \"./data/texture/large16.png\" skipped: its 268435456 bytes "
                   "pass the texture budget"});
    // The name is written as text, never as commands to the terminal.
    out.push_back({"texture_name_of_terminal_commands", hostile_texture_name, "", Ends::closes,
                   "res: texture \"./data/texture/\\x1b]0;TITLE\\x07\\x1b[2J\" skipped: broken, of "
                   "an unknown kind, or too large to decode"});

    // Every road to the fatal error screen: its one line first, naming the file and the
    // reason (a file the file layer refused has that layer's line, and no second one).
    const std::string not_loaded = "sound: not loaded \"data/sound/bgm01.wav\": ";
    const std::string group = "res: group not loaded \"./data/grp/";
    const std::string e = "fatal_";
    const Ends screen = Ends::error_screen;
    out.push_back(
        {e + "sound_missing", removed(sound), "", screen, not_loaded + "no such file", true});
    out.push_back({e + "data_folder_missing", removed("data"), "", screen,
                   not_loaded + "no folder \"data\" in \"<root>\"", true});
    out.push_back({e + "no_sound_device",
                   nothing(),
                   "",
                   screen,
                   "sound: device not opened: OpenAL opened no output device (to run without "
                   "sound: ALSOFT_DRIVERS=null)",
                   true,
                   {{"ALSOFT_DRIVERS", "no-such-driver"}}});
    out.push_back({e + "group_chunk_rejected", short_model("data/grp/apple.bin"), "", screen,
                   group + "apple.bin\": chunk \"ZQT \" at byte 0 rejected: smaller than its fixed "
                           "part",
                   true});
    out.push_back({e + "group_refused", hostile("data/grp/apple.bin", Hostile::oversized), "",
                   screen, "file: not read \"./data/grp/apple.bin\": ", true});
    out.push_back({e + "group_not_found", nothing(), "MODEL_DATA_PATH .\\nowhere\\", screen,
                   "res: group not loaded \"apple.bin\": not in \"./data/grpe/\", "
                   "\"./data/grpc/\" or \"./nowhere/\"",
                   true});
    out.push_back({e + "groups_over_the_pool", many_groups, "", screen,
                   "\": chunk \"TEX \" at byte 0 not registered: no room in the CAT pool (100 "
                   "entries); MAX_NR_CAT in the settings text raises it",
                   true});
    // The key the line names is the one that lets them load.
    out.push_back(
        {"groups_in_a_raised_pool", many_groups, "MAX_NR_CAT 300", Ends::closes, "", true});
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

std::string instance_name(const std::string& name)
{
    std::string n = name;
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class HostileDataSet : public ::testing::TestWithParam<Row> {};

TEST_P(HostileDataSet, EndsAsAMissingFileOfItsKindWould)
{
    const Row& row = GetParam();
    const std::string name = instance_name(row.name);
    CaseFolder dir(name);
    ASSERT_TRUE(row.damage(dir.root));
    if (!row.settings.empty()) std::ofstream(dir.root / "QUORVEL.TXT") << row.settings;
    // The error screen runs frames too: a scripted close would end it early.
    std::ofstream(dir.root / "close.txt") << (row.ends == Ends::closes ? "60 close\n" : "");
    Env env = {{"SDL_VIDEODRIVER", "offscreen"},
               {"QUORVEL_DIALOGS", "script"},
               {"QUORVEL_IPC_PREFIX", plat_ipc_prefix() + name},
               {"QUORVEL_INPUT_SCRIPT", (dir.root / "close.txt").string()}};
    env.insert(env.end(), row.env.begin(), row.env.end());
    const pid_t pid =
        spawn_program(env, (dir.root / "stderr.txt").string(), (dir.root / "bin/quorvel").string());
    const auto start = std::chrono::steady_clock::now();
    const int code = finish_child(pid, 120s);
    if (row.ends == Ends::error_screen) {  // the screen's time, not an early failure
        EXPECT_GE(std::chrono::steady_clock::now() - start, 29s);
    }
    const std::string err = test_file_text(dir.root / "stderr.txt");
    EXPECT_EQ(code, row.ends == Ends::closes ? 0 : 1) << "-2: still running after 120 s\n" << err;
    std::string line = row.line;
    if (const size_t at = line.find("<root>"); at != std::string::npos)
        line.replace(at, 6, fs::canonical(dir.root).string());
    EXPECT_NE(err.find(line), std::string::npos) << err;
    if (row.only_line) {  // one line, or none where none is expected
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), line.empty() ? 0 : 1) << err;
    }
    EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileDataSet, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return instance_name(info.param.name);
                         });

}  // namespace
