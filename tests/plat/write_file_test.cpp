// Whole-file writes: names of every legal length, saves cut short, and writing in place.
#include "plat/files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <tuple>

#include "child_proc.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<uint8_t> bytes_of(size_t n, char v) { return std::vector<uint8_t>(n, uint8_t(v)); }

std::vector<std::string> names_in(const TempDir& t)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(t.file(""))) names.push_back(e.path().filename());
    return names;
}

// Names of the longest legal lengths, and a backslash, which is a character of a name here;
// case tells names apart.
TEST(PlatWriteFile, AnyLegalNameIsSavedAndReplacedOnBothRoutes)
{
    TempDir t;
    for (int unnamed : {1, 0}) {
        plat_write_file_unnamed(unnamed);
        const char c = unnamed ? 'u' : 'n';
        for (const std::string& name :
             {std::string(242, c), std::string(255, c), std::string(1, c) + "\\b.bmp"}) {
            const std::string path = t.file(name);
            std::string why;
            for (const char* content : {"first", "second"}) {
                ASSERT_TRUE(plat_write_file(path, bytes_of(300, *content), &why)) << name << why;
                EXPECT_EQ(t.read(name), std::string(300, *content));
                ::chmod(path.c_str(), 0604);  // the replacement keeps it
            }
            EXPECT_EQ(unsigned(fs::status(path).permissions()), 0604u);
        }
    }
    plat_write_file_unnamed(1);
    EXPECT_EQ(names_in(t).size(), 6u);  // nothing else left
    // A name differing only in case is another file.
    t.write("PIC.bmp", "kept");
    ASSERT_TRUE(plat_write_file(t.file("pic.bmp"), bytes_of(3, 'n'), nullptr));
    EXPECT_EQ(t.read("PIC.bmp") + t.read("pic.bmp"), "keptnnn");
}

// A save cut short at a fixed point: the file size limit ends the process in the middle of
// writing its new file, as a kill would.
TEST(PlatWriteFile, ASaveKilledWhileWritingLeavesNoTemporaryWhereTheFileSystemAllows)
{
    TempDir t;
    const int probe = ::open(t.file("").c_str(), O_TMPFILE | O_WRONLY, 0600);
    const bool unnamed_here = probe >= 0;
    if (probe >= 0) ::close(probe);
    const std::string old(4096, 'o'), path = t.write(std::string(255, 'p'), old);
    for (int unnamed : {1, 0}) {
        plat_write_file_unnamed(unnamed);
        const pid_t child = fork_child([&] {
            const rlimit limit = {1 << 16, 1 << 16};
            ::signal(SIGXFSZ, [](int) { ::_exit(9); });
            ::setrlimit(RLIMIT_FSIZE, &limit);
            return plat_write_file(path, bytes_of(1 << 20, 'n'), nullptr) ? 0 : 1;
        });
        EXPECT_EQ(finish_child(child, 30s), 9) << unnamed;
        EXPECT_EQ(t.read(fs::path(path).filename()), old);
        for (const std::string& name : names_in(t)) {
            if (name == fs::path(path).filename()) continue;
            // Where no unnamed file can be made, what is left has a short name.
            EXPECT_FALSE(unnamed && unnamed_here) << name;
            EXPECT_LT(name.size(), 32u) << name;
            fs::remove(t.file(name));
        }
    }
    plat_write_file_unnamed(1);
}

// A folder that takes no new file (mode 555, to a user other than root) holding a writable
// old.bmp of 12,000 bytes, with room for 64 KB: on a 64 KB tmpfs, which reserves space, and on a
// ramfs, which cannot (a file size limit stands in for the room there).
TEST(PlatWriteFile, InPlaceALackOfRoomFailsWithTheOldBytesIntact)
{
    if (::geteuid() != 0) GTEST_SKIP() << "mounting and changing user need root";
    const std::tuple<const char*, const char*, rlim_t, const char*> systems[] = {
        {"tmpfs", "size=64k", RLIM_INFINITY, "reserve space: No space left on device"},
        {"ramfs", "", 64 << 10, "reserve space: File too large"}};
    for (auto [type, options, limit, reason] : systems) {
        TempDir t;
        if (::mount(type, t.file("").c_str(), type, 0, options) != 0)
            GTEST_SKIP() << type << " cannot be mounted here";
        const std::string old = t.write("old.bmp", std::string(12000, 'o'));
        ::chmod(old.c_str(), 0666);
        ::chmod(t.file("").c_str(), 0555);
        // As the other user, with the file size limit: 0 when saved, 1 when refused for the
        // reason expected, 3 when that user cannot be taken on here.
        auto as_other_user = [&, limit = limit, reason = reason](size_t n, char v) {
            const rlimit room = {limit, limit};
            ::signal(SIGXFSZ, SIG_IGN);
            if (::setrlimit(RLIMIT_FSIZE, &room) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                ::setresuid(65534, 65534, 65534) != 0 || ::access(old.c_str(), W_OK) != 0)
                return 3;
            std::string why;
            if (plat_write_file(old, bytes_of(n, v), &why)) return 0;
            return why == reason ? 1 : 2;
        };
        auto save = [&](size_t n, char v) {
            return finish_child(fork_child([&] { return as_other_user(n, v); }), 30s);
        };
        const int full = save(200000, 'n');
        if (full == 3) {
            ::umount2(t.file("").c_str(), MNT_DETACH);
            GTEST_SKIP() << "no other user can write there";
        }
        EXPECT_EQ(full, 1) << type;
        EXPECT_EQ(t.read("old.bmp"), std::string(12000, 'o')) << type;
        for (auto [n, v] : {std::pair{20000u, 'n'}, {5000u, 'm'}}) {
            EXPECT_EQ(save(n, v), 0) << type << n;
            EXPECT_EQ(t.read("old.bmp"), std::string(n, v)) << type << n;
        }
        EXPECT_EQ(names_in(t), std::vector<std::string>{"old.bmp"}) << type;
        ::umount2(t.file("").c_str(), MNT_DETACH);
    }
}

}  // namespace
