// Whole-file writes: names of every legal length, saves cut short, writing in place, links in
// shared folders, files the user may not write, and what a replacement keeps of the old file's
// protection. Pipes that do not drain are tried through the program (tests/tool).
#include "plat/files.h"
#include "plat/files_local.h"
#include "plat/window.h"

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <signal.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>
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

constexpr uid_t WRITE_FILE_OTHER_UID = 65534;     // the saver in tests with a second user
constexpr uid_t WRITE_FILE_ATTACKER_UID = 12345;  // a third user, who owns no process here

// Hides /proc from this (forked) process: a mount namespace of its own without it, as in a
// container or a chroot that has none. Needs root.
bool hide_proc()
{
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::umount2("/proc", MNT_DETACH) == 0;
}

// Saves n bytes of v to path as that user (and group of the same number) in a child, after
// `first` (when given) set the child up: 0 when saved (with no reason left), 1 when refused for
// a reason holding `reason`, 2 for another (on standard error), 3 when `first` failed or that
// user cannot be taken on, 4 when saved with a reason, -2 when the child did not end in 30 s.
int save_as(uid_t uid, const std::string& path, size_t n, char v, const std::string& reason,
            const std::function<bool()>& first = {})
{
    return finish_child(fork_child([&] {
                            if ((first && !first()) || !become_user(uid)) return 3;
                            std::string why;
                            if (plat_write_file(path, bytes_of(n, v), &why))
                                return why.empty() ? 0 : 4;
                            if (why.find(reason) != std::string::npos) return 1;
                            std::fprintf(stderr, "%s: %s\n", path.c_str(), why.c_str());
                            return 2;
                        }),
                        30s);
}

// Names of the longest legal lengths, and a backslash, which is a character of a name here;
// case tells names apart. A folder path of 4,075 bytes takes a file too, although a temporary
// name's full path there would be longer than any path may be.
TEST(PlatWriteFile, AnyLegalNameIsSavedAndReplacedOnBothRoutes)
{
    const auto open_fds = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
    const auto fds_before = open_fds();
    TempDir t;
    std::string deep = std::string(200, 'd');
    while (t.file(deep).size() + 201 < 4075) deep += "/" + std::string(200, 'd');
    deep += "/" + std::string(4075 - t.file(deep).size() - 1, 'e');
    ASSERT_EQ(t.file(deep).size(), 4075u);
    fs::create_directories(t.file(deep));
    for (int unnamed : {1, 0}) {
        plat_write_file_unnamed(unnamed);
        const char c = unnamed ? 'u' : 'n';
        for (const std::string& name : {std::string(242, c), std::string(255, c),
                                        std::string(1, c) + "\\b.bmp", deep + "/p." + c}) {
            const std::string path = t.file(name);
            std::string why;
            for (const char* content : {"first", "second"}) {
                ASSERT_TRUE(plat_write_file(path, bytes_of(300, *content), &why)) << name << why;
                EXPECT_EQ(t.read(name), std::string(300, *content));
                if (*content == 'f') ::chmod(path.c_str(), 0604);  // the replacement keeps it
            }
            EXPECT_EQ(unsigned(fs::status(path).permissions()), 0604u);
        }
    }
    plat_write_file_unnamed(1);
    EXPECT_EQ(names_in(t).size(), 7u);  // nothing else left
    EXPECT_EQ(std::distance(fs::directory_iterator(t.file(deep)), {}), 2);
    EXPECT_EQ(open_fds(), fds_before);  // nor anything open
    // A name differing only in case is another file.
    t.write("PIC.bmp", "kept");
    ASSERT_TRUE(plat_write_file(t.file("pic.bmp"), bytes_of(3, 'n'), nullptr));
    EXPECT_EQ(t.read("PIC.bmp") + t.read("pic.bmp"), "keptnnn");
    // A name whose last part is empty, "." or ".." names a folder; one with dots and more does not.
    const std::pair<const char*, bool> names[] = {
        {"t/", true},    {"t/.", true},   {"t/..", true},   {"..", true},
        {"t/.a", false}, {"t/a.", false}, {"t/...", false}, {"", false}};
    for (auto [path, folder] : names) EXPECT_EQ(plat_path_names_folder(path), folder) << path;
    // Paths that lead to no file to write, with their reasons; links are followed as the kernel
    // follows them, 40 in a row at most.
    fs::create_directories(t.file("dir"));
    fs::create_directory_symlink("dir", t.file("to_dir"));
    fs::create_symlink("dir/", t.file("to_dir_slash"));
    for (int i = 40; i >= 0; --i)
        fs::create_symlink(i == 40 ? "dir/end" : "chain" + std::to_string(i + 1),
                           t.file("chain" + std::to_string(i)));
    const std::pair<std::string, const char*> refused[] = {
        {"", "open: No such file or directory"},
        {t.file("pic.bmp/x"), "open: Not a directory"},
        {t.file("missing/x"), "open: No such file or directory"},
        {t.file("to_dir"), "open: Is a directory"},
        {t.file("to_dir_slash"), "open: Is a directory"},
        {t.file("dir/."), "open: Is a directory"},
        {t.file("chain0"), "open: Too many levels of symbolic links"}};
    for (const auto& [path, reason] : refused) {
        std::string why;
        EXPECT_FALSE(plat_write_file(path, bytes_of(3, 'x'), &why)) << path;
        EXPECT_EQ(why, reason) << path;
    }
    EXPECT_TRUE(plat_write_file(t.file("chain1"), bytes_of(3, 'x'), nullptr));
    EXPECT_EQ(t.read("dir/end") + (fs::exists(t.file("missing")) ? "+" : ""), "xxx");
}

// A save cut short at a fixed point: the file size limit ends the process in the middle of
// writing its new file, as a kill would, or fails the write where its signal is ignored. Where no
// unnamed file can be made, a kill leaves a short name with a random part, which the next save
// never runs into; a failure leaves nothing, also where a dangling link's missing target is made
// as every new file is, in the target's own folder.
TEST(PlatWriteFile, ASaveCutShortLeavesNoTemporaryWhereTheFileSystemAllows)
{
    TempDir t;
    const int probe = ::open(t.file("").c_str(), O_TMPFILE | O_WRONLY, 0600);
    const bool unnamed_here = probe >= 0;
    if (probe >= 0) ::close(probe);
    const std::string old(4096, 'o'), path = t.write(std::string(255, 'p'), old);
    fs::create_directories(t.file("a"));
    fs::create_directories(t.file("b"));
    const std::string link = t.file("a/pic.bmp");
    fs::create_symlink("../b/target.bmp", link);
    for (auto [unnamed, killed] :
         {std::pair{1, true}, {0, true}, {0, true}, {1, false}, {0, false}}) {
        plat_write_file_unnamed(unnamed);
        const pid_t child = fork_child([&, killed = killed] {
            const rlimit limit = {1 << 16, 1 << 16};
            ::signal(SIGXFSZ, killed ? [](int) { ::_exit(9); } : SIG_IGN);
            ::setrlimit(RLIMIT_FSIZE, &limit);
            return plat_write_file(killed ? path : link, bytes_of(1 << 20, 'n'), nullptr) ? 0 : 1;
        });
        EXPECT_EQ(finish_child(child, 30s), killed ? 9 : 1) << unnamed << killed;
        EXPECT_EQ(t.read(fs::path(path).filename()), old);
    }
    plat_write_file_unnamed(1);
    EXPECT_TRUE(fs::is_empty(t.file("b")));
    const std::vector<std::string> left = names_in(t);
    EXPECT_EQ(left.size(), unnamed_here ? 5u : 6u);  // the file, a, b and what the kills left
    for (const std::string& name : left) {
        if (name.size() == 1 || name == fs::path(path).filename()) continue;
        EXPECT_EQ(name.size(), 30u) << name;
        EXPECT_EQ(name.rfind(".quorvel-", 0), 0u) << name;
    }
    ASSERT_TRUE(plat_write_file(link, bytes_of(300, 's'), nullptr));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(t.read("b/target.bmp"), std::string(300, 's'));
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
        // As the other user, with the file size limit.
        auto save = [&, limit = limit](size_t n, char v, const std::string& reason) {
            return save_as(WRITE_FILE_OTHER_UID, old, n, v, reason, [&] {
                const rlimit room = {limit, limit};
                ::signal(SIGXFSZ, SIG_IGN);
                return ::setrlimit(RLIMIT_FSIZE, &room) == 0;
            });
        };
        EXPECT_EQ(save(200000, 'n', reason), 1) << type;
        EXPECT_EQ(t.read("old.bmp"), std::string(12000, 'o')) << type;
        for (auto [n, v] : {std::pair{20000u, 'n'}, {5000u, 'm'}}) {
            EXPECT_EQ(save(n, v, "-"), 0) << type << n;
            EXPECT_EQ(t.read("old.bmp"), std::string(n, v)) << type << n;
        }
        EXPECT_EQ(names_in(t), std::vector<std::string>{"old.bmp"}) << type;
        // Where new files may be made, one replaces it (its other name keeps the old bytes): with
        // no ACL to copy on tmpfs, and no attributes at all on ramfs.
        ::chmod(t.file("").c_str(), 0755);
        ASSERT_EQ(::link(old.c_str(), t.file("link").c_str()), 0);
        std::string why;
        EXPECT_TRUE(plat_write_file(old, bytes_of(100, 'r'), &why)) << type << why;
        EXPECT_EQ(t.read("old.bmp") + t.read("link"),
                  std::string(100, 'r') + std::string(5000, 'm'))
            << type;
        ::umount2(t.file("").c_str(), MNT_DETACH);
    }
}

// Sets one of the kernel's fs.protected_* rules for the life of the record, where it may be
// set: the writer's own rules must hold whatever the kernel applies.
class KernelRule {
public:
    KernelRule(const char* rule, const char* value)
        : path_(std::string("/proc/sys/fs/protected_") + rule), was_(read())
    {
        put(value);
    }
    ~KernelRule() { put(was_); }

private:
    std::string read() const
    {
        std::ifstream in(path_);
        std::string v;
        in >> v;
        return v;
    }
    void put(const std::string& v) const
    {
        if (!v.empty()) std::ofstream(path_) << v;
    }
    std::string path_, was_;
};

// ---- links ------------------------------------------------------------------------------------

// Another user's link in a sticky folder open to everyone leads nowhere, alone or in a chain,
// whatever fs.protected_symlinks says; the user's own and the folder owner's links are followed,
// and so is anyone's in a folder without the sticky bit.
TEST(PlatWriteFile, ALinkInASharedStickyFolderIsFollowedOnlyWhenTheUserOrTheFolderOwnsIt)
{
    if (::geteuid() != 0) GTEST_SKIP() << "links of other users need root";
    const uid_t victim = WRITE_FILE_OTHER_UID, attacker = WRITE_FILE_ATTACKER_UID, root = 0;
    const struct {
        mode_t folder;
        std::vector<uid_t> chain;  // owners of pic.bmp, then of the links it leads through
        const char* target;        // in the victim's folder
        bool followed;
    } cases[] = {{01777, {attacker}, "notes.txt", false},
                 {01777, {attacker}, "new.txt", false},
                 {01777, {victim, attacker}, "notes.txt", false},
                 {01777, {victim}, "notes.txt", true},
                 {01777, {root}, "new.txt", true},
                 {00777, {attacker}, "notes.txt", true}};
    for (const auto& c : cases) {
        TempDir t;
        const std::string shared = t.file("shared"), own = t.file("victim");
        fs::create_directories(shared);
        fs::create_directories(own);
        const std::string notes = t.write("victim/notes.txt", "notes");
        ASSERT_EQ(::chown(own.c_str(), victim, victim) | ::chown(notes.c_str(), victim, victim), 0);
        ASSERT_EQ(::chmod(shared.c_str(), c.folder), 0);
        // pic.bmp -> link1 -> ... -> the target, every link in the shared folder.
        for (size_t i = 0; i < c.chain.size(); ++i) {
            const std::string name = shared + (i ? "/link" + std::to_string(i) : "/pic.bmp");
            const std::string to =
                i + 1 < c.chain.size() ? "link" + std::to_string(i + 1) : own + "/" + c.target;
            ASSERT_EQ(::symlink(to.c_str(), name.c_str()), 0);
            ASSERT_EQ(::lchown(name.c_str(), c.chain[i], c.chain[i]), 0);
        }
        const int saved = save_as(victim, shared + "/pic.bmp", 10, 'x', "another user's link");
        const std::string expect = c.followed                             ? std::string(10, 'x')
                                   : c.target == std::string("notes.txt") ? "notes"
                                                                          : "";
        EXPECT_EQ(saved, c.followed ? 0 : 1) << c.folder << " " << c.chain.size() << c.target;
        EXPECT_EQ(t.read(std::string("victim/") + c.target), expect) << c.target;
        EXPECT_EQ(fs::exists(own + "/" + c.target), !expect.empty()) << c.target;
    }
}

// ---- permission ------------------------------------------------------------------------------

// In a folder anyone may write into, a file the saver could not open for writing is refused as
// `echo >` would refuse it. Where that folder is sticky, a file or named pipe of a user other
// than the saver and the folder's owner (root) is refused too, whatever the kernel's
// fs.protected_regular and fs.protected_fifos say: anyone may have put it there to be written.
// The saver's own file is replaced; another's, whose owner the saver cannot keep, or the folder
// owner's, whose name the sticky bit keeps, is written in place. Whatever is refused keeps its
// bytes and its owner, and a reader of the pipe gets nothing. A new name the saver may not make
// says so.
TEST(PlatWriteFile, WhatTheUserMayNotWriteOrAnotherUserPutInASharedFolderIsLeftAsItIs)
{
    if (::geteuid() != 0) GTEST_SKIP() << "files of other users need root";
    KernelRule regular("regular", "0"), fifos("fifos", "0");
    const uid_t saver = WRITE_FILE_OTHER_UID, other = WRITE_FILE_ATTACKER_UID;
    const char *denied = "open: Permission denied",
               *planted = "open: another user's file in a shared sticky folder";
    const struct {
        const char* name;
        uid_t owner;
        mode_t mode;            // a named pipe with S_IFIFO
        const char* in_open;    // the reason in a folder of mode 0777; null: saved
        const char* in_sticky;  // in one of mode 01777
        bool replaced;          // by a new file (else written in place)
    } files[] = {{"others_0444", other, 0444, denied, planted, false},
                 {"others_0644", other, 0644, denied, planted, false},
                 {"own_0444", saver, 0444, denied, denied, false},
                 {"others_0666", other, 0666, nullptr, planted, false},
                 {"others_pipe", other, S_IFIFO | 0666, nullptr, planted, false},
                 {"own_0644", saver, 0644, nullptr, nullptr, true},
                 {"folder_owners_0666", 0, 0666, nullptr, nullptr, false}};
    for (const mode_t folder_mode : {0777, 01777}) {
        TempDir t;
        ::chmod(t.file("").c_str(), folder_mode);
        for (const auto& f : files) {
            const std::string path = t.file(f.name);
            if (S_ISFIFO(f.mode))
                ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0);
            else
                t.write(f.name, "old");
            ASSERT_EQ(
                ::chown(path.c_str(), f.owner, f.owner) | ::chmod(path.c_str(), f.mode & 07777), 0);
        }
        for (const auto& f : files) {
            const std::string path = t.file(f.name);
            const char* reason = folder_mode == 01777 ? f.in_sticky : f.in_open;
            const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            struct stat before, after;
            ASSERT_EQ(::stat(path.c_str(), &before), 0);
            EXPECT_EQ(save_as(saver, path, 3, 'n', reason ? reason : "-"), reason ? 1 : 0)
                << f.name << " in " << std::oct << folder_mode;
            std::string got(8, '\0');
            got.resize(size_t(std::max<ssize_t>(::read(reader, got.data(), got.size()), 0)));
            ::close(reader);
            if (!S_ISFIFO(f.mode)) got = t.read(f.name);
            EXPECT_EQ(got, reason ? S_ISFIFO(f.mode) ? "" : "old" : "nnn") << f.name;
            ASSERT_EQ(::stat(path.c_str(), &after), 0);
            EXPECT_EQ(std::tuple(after.st_ino == before.st_ino, after.st_uid),
                      std::tuple(!(f.replaced && !reason), f.owner))
                << f.name << " in " << std::oct << folder_mode;
        }
        EXPECT_EQ(names_in(t).size(), std::size(files)) << "no temporary left";
    }
    // A new name in a folder that takes no new file from the saver, and in one of /proc, which
    // takes none from anyone.
    TempDir t;
    ::chmod(t.file("").c_str(), 0555);
    EXPECT_EQ(save_as(saver, t.file("pic.bmp"), 3, 'n', "make a new file: Permission denied"), 1);
    EXPECT_TRUE(names_in(t).empty());
    for (const auto& [path, reason] :
         {std::pair{"/proc/pic.bmp", "make a new file: the folder takes no new files"},
          {"/proc/self/pic.bmp", "make a new file: Operation not permitted"}}) {
        std::string why;
        EXPECT_FALSE(plat_write_file(path, bytes_of(3, 'n'), &why)) << path;
        EXPECT_EQ(why, reason) << path;
    }
}

// ---- protection the replacement keeps ---------------------------------------------------------

// A POSIX access ACL in the kernel's form: a version word, then entries of tag, permissions, id.
std::string acl_bytes(std::initializer_list<std::tuple<uint16_t, uint16_t, uint32_t>> entries)
{
    std::string out(4, '\0');
    out[0] = 2;  // version
    for (auto [tag, perm, id] : entries) {
        char e[8];
        std::memcpy(e, &tag, 2);
        std::memcpy(e + 2, &perm, 2);
        std::memcpy(e + 4, &id, 4);
        out.append(e, 8);
    }
    return out;
}

// An attribute of path, or "<none>".
std::string attribute(const std::string& path, const char* name)
{
    std::string value(4096, '\0');
    const ssize_t n = ::getxattr(path.c_str(), name, value.data(), value.size());
    return n < 0 ? "<none>" : value.substr(0, size_t(n));
}

constexpr uint16_t WRITE_FILE_ACL_USER_OBJ = 1, WRITE_FILE_ACL_USER = 2,
                   WRITE_FILE_ACL_GROUP_OBJ = 4, WRITE_FILE_ACL_MASK = 0x10,
                   WRITE_FILE_ACL_OTHER = 0x20;
constexpr uint32_t WRITE_FILE_ACL_NO_ID = 0xFFFFFFFF;

// The old file's ACL (or its absence, where the folder's default ACL would give the new file
// one) and its user attributes go to the replacement, which is a new file: a hard link to the
// old one keeps the old bytes. Skipped where the file system takes no ACL.
TEST(PlatWriteFile, AReplacementKeepsTheOldFilesAclAndUserAttributes)
{
    // group::---, user:65534:rw-, mask::rw-: the group may not read, one other user may write.
    const std::string acl = acl_bytes({{WRITE_FILE_ACL_USER_OBJ, 6, WRITE_FILE_ACL_NO_ID},
                                       {WRITE_FILE_ACL_USER, 6, WRITE_FILE_OTHER_UID},
                                       {WRITE_FILE_ACL_GROUP_OBJ, 0, WRITE_FILE_ACL_NO_ID},
                                       {WRITE_FILE_ACL_MASK, 6, WRITE_FILE_ACL_NO_ID},
                                       {WRITE_FILE_ACL_OTHER, 0, WRITE_FILE_ACL_NO_ID}});
    for (bool old_has_acl : {true, false}) {
        TempDir t;
        const std::string path = t.write("pic.bmp", "old"), folder = t.file("");
        ::chmod(path.c_str(), 0640);
        const char* acl_key = "system.posix_acl_access";
        if (old_has_acl && ::setxattr(path.c_str(), acl_key, acl.data(), acl.size(), 0) != 0)
            GTEST_SKIP() << "no ACL here: " << std::strerror(errno);
        // The new file gets the folder's default ACL: the old file's own must replace it, and
        // without one of its own, the old file must not gain it.
        if (::setxattr(folder.c_str(), "system.posix_acl_default", acl.data(), acl.size(), 0))
            GTEST_SKIP() << "no default ACL here: " << std::strerror(errno);
        ASSERT_EQ(::setxattr(path.c_str(), "user.note", "kept", 4, 0), 0) << std::strerror(errno);
        // Another user's file and folder, where the test may give them: without /proc, root and
        // that user without privilege replace it, and the user makes a new name.
        const uid_t owner = ::geteuid() == 0 ? WRITE_FILE_ATTACKER_UID : ::geteuid();
        ASSERT_EQ(::chown(path.c_str(), owner, owner) | ::chown(folder.c_str(), owner, owner), 0);
        std::string was = "old";
        // Without /proc by root and by the owner, then unnamed and named.
        for (int route = 0; route < 4; ++route) {
            const bool no_proc = route < 2;
            if (no_proc && ::geteuid() != 0) continue;
            plat_write_file_unnamed(route != 3);
            fs::remove(t.file("other"));
            ASSERT_EQ(::link(path.c_str(), t.file("other").c_str()), 0);
            const char v = char('a' + route);
            std::string why;
            EXPECT_TRUE(no_proc ? save_as(route ? owner : 0, path, 3, v, "-", hide_proc) == 0
                                : plat_write_file(path, bytes_of(3, v), &why))
                << route << why;
            EXPECT_EQ(t.read("pic.bmp") + t.read("other"), std::string(3, v) + was) << route;
            was = std::string(3, v);
            struct stat st;
            ASSERT_EQ(::stat(path.c_str(), &st), 0);
            EXPECT_EQ(std::tuple(st.st_mode & 07777, st.st_uid, st.st_gid),
                      std::tuple(old_has_acl ? 0660u : 0640u, owner, owner))
                << route;
            EXPECT_EQ(attribute(path, acl_key), old_has_acl ? acl : "<none>") << route;
            EXPECT_EQ(attribute(path, "user.note"), "kept") << route;
        }
        plat_write_file_unnamed(1);
        if (::geteuid() == 0) {
            EXPECT_EQ(save_as(owner, t.file("new.bmp"), 3, 'x', "-", hide_proc), 0);
        }
    }
}

// Makes the system call nr fail with EIO in this (forked) process from now on.
bool fail_call(long nr)
{
    sock_filter code[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                          BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(nr), 0, 1),
                          BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
                          BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
    const sock_fprog program = {uint16_t(std::size(code)), code};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Protection the system fails to read (its ACL, the list of its attributes) leaves the save
// refused and both names of the file as they were. Attributes the saver may not read (user
// attributes of a file without read permission) cannot go to a new file: the save writes in
// place, so the file keeps them, and so does its other name.
TEST(PlatWriteFile, ProtectionThatCannotBeCarriedOverMakesTheSaveWriteInPlace)
{
    if (::geteuid() != 0) GTEST_SKIP() << "changing user needs root";
    const uid_t saver = WRITE_FILE_OTHER_UID;
    TempDir t;
    const std::string folder = t.file("own"), path = folder + "/pic.bmp";
    fs::create_directories(folder);
    t.write("own/pic.bmp", "old");
    ASSERT_EQ(::chown(folder.c_str(), saver, saver) | ::chown(path.c_str(), saver, saver) |
                  ::link(path.c_str(), (folder + "/link").c_str()),
              0);
    for (const long call : {SYS_fgetxattr, SYS_flistxattr}) {
        EXPECT_EQ(save_as(saver, path, 5, 'n',
                          "replace the file: the old file's protection cannot be read: "
                          "Input/output error",
                          [&] { return fail_call(call); }),
                  1)
            << call;
        EXPECT_EQ(t.read("own/pic.bmp") + t.read("own/link"), "oldold") << call;
    }
    if (::setxattr(path.c_str(), "user.note", "kept", 4, 0) != 0)
        GTEST_SKIP() << "no user attributes here: " << std::strerror(errno);
    ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
    EXPECT_EQ(save_as(saver, path, 5, 'n', ""), 0);
    EXPECT_EQ(t.read("own/pic.bmp") + t.read("own/link"), "nnnnnnnnnn");
    EXPECT_EQ(attribute(path, "user.note"), "kept");
}

// ---- temporary names and the folder sync ------------------------------------------------------

// The name of a new or replacing file is lasting only once its folder is synced: a failed sync
// fails the save, whichever way it went.
TEST(PlatWriteFile, AFailedSyncOfTheFolderFailsTheSave)
{
    TempDir t;
    t.write("old.bmp", "old");
    plat_write_file_folder_sync([](int) {
        errno = EIO;
        return -1;
    });
    for (int unnamed : {1, 0}) {
        plat_write_file_unnamed(unnamed);
        for (const char* name : {"old.bmp", "new.bmp"}) {
            std::string why;
            EXPECT_FALSE(plat_write_file(t.file(name), bytes_of(3, 'n'), &why)) << name;
            EXPECT_EQ(why, "sync folder: Input/output error") << name;
            fs::remove(t.file("new.bmp"));
        }
    }
    plat_write_file_unnamed(1);
    plat_write_file_folder_sync(nullptr);
    EXPECT_TRUE(plat_write_file(t.file("new.bmp"), bytes_of(3, 'n'), nullptr));
}

// ---- a folder swapped, a long path, an owner that cannot be kept ------------------------------

// Another user owns a folder and a link to the victim's private folder in a shared sticky
// folder and swaps the two names in a loop while the victim saves into the folder: each save
// lands in that folder or is refused, never in the victim's own.
TEST(PlatWriteFile, AFolderSwappedWithALinkDuringSavesNeverLeadsThemElsewhere)
{
    if (::geteuid() != 0) GTEST_SKIP() << "a second user needs root";
    const uid_t victim = WRITE_FILE_OTHER_UID, attacker = WRITE_FILE_ATTACKER_UID;
    KernelRule kernel_follows_any("symlinks", "0");
    TempDir t;
    const std::string shared = make_shared_folder(t.file("shared")), own = t.file("own");
    const std::string dir = shared + "/dir", lnk = shared + "/lnk";
    fs::create_directories(own);
    const std::string pic = t.write("own/pic.bmp", "private");
    ASSERT_EQ(::chown(own.c_str(), victim, victim) | ::chmod(own.c_str(), 0700) |
                  ::chown(pic.c_str(), victim, victim) | ::chmod(pic.c_str(), 0600),
              0);
    fs::create_directories(dir);
    ASSERT_EQ(::chown(dir.c_str(), attacker, attacker) | ::chmod(dir.c_str(), 0777) |
                  ::symlink(own.c_str(), lnk.c_str()) | ::lchown(lnk.c_str(), attacker, attacker),
              0);
    struct stat before;
    ASSERT_EQ(::stat(pic.c_str(), &before), 0);
    const pid_t swapper = fork_child([&] {
        if (!become_user(attacker)) return 100;
        for (;;) ::renameat2(AT_FDCWD, dir.c_str(), AT_FDCWD, lnk.c_str(), RENAME_EXCHANGE);
    });
    // Each save lands in the folder or is refused for the link: 0, else 1.
    const int saves = run_as_user(victim, [&] {
        for (int i = 0; i < 200; ++i) {
            std::string why;
            if (!plat_write_file(dir + "/pic.bmp", bytes_of(300, 'x'), &why) &&
                why.find("another user's link") == std::string::npos)
                return 1;
        }
        return 0;
    });
    kill_child(swapper);
    EXPECT_EQ(saves, 0);
    struct stat after;
    ASSERT_EQ(::stat(pic.c_str(), &after), 0);
    EXPECT_EQ(t.read("own/pic.bmp"), "private");
    EXPECT_EQ(std::tuple(after.st_ino, after.st_mode & 07777), std::tuple(before.st_ino, 0600u));
    std::vector<std::string> in_own;
    for (const auto& e : fs::directory_iterator(own)) in_own.push_back(e.path().filename());
    EXPECT_EQ(in_own, std::vector<std::string>{"pic.bmp"});
}

// With hard links to anyone's file allowed (fs.protected_hardlinks=0), the owner of a shared
// sticky folder gives out.bmp in turn to a hard link of the saver's own file elsewhere and to a
// file of his own, while the saver saves to it: a name that held the saver's own file when found
// is replaced or the save refused, never written in place, so that other file keeps its bytes.
// In a shared folder of root's, he takes a new name for a moment, over and over: a save that
// found it free makes it (and the saver frees it again), or is refused for the name taken.
TEST(PlatWriteFile, ANameSwappedDuringSavesNeverLeadsThemIntoTheUsersOtherFile)
{
    if (::geteuid() != 0) GTEST_SKIP() << "a second user needs root";
    const uid_t saver = WRITE_FILE_OTHER_UID, owner = WRITE_FILE_ATTACKER_UID;
    KernelRule kernel_links_any("hardlinks", "0");
    TempDir t;
    const std::string shared = make_shared_folder(t.file("f")), own = t.file("victim");
    fs::create_directories(own);
    const std::string victim = t.write("victim/v.bmp", "private"), his = t.write("f/his", "his");
    const std::string out = shared + "/out.bmp", next = shared + "/next";
    const std::string fresh = make_shared_folder(t.file("g")) + "/new.bmp";
    ASSERT_EQ(::chown(shared.c_str(), owner, owner) | ::chown(his.c_str(), owner, owner) |
                  ::chmod(his.c_str(), 0666) | ::chown(own.c_str(), saver, saver) |
                  ::chmod(own.c_str(), 0755) | ::chown(victim.c_str(), saver, saver) |
                  ::chmod(victim.c_str(), 0644) | ::link(his.c_str(), out.c_str()),
              0);
    struct stat before, after;
    ASSERT_EQ(::stat(victim.c_str(), &before), 0);
    const struct {
        const std::string& path;
        std::function<void()> swap;        // the owner's, over and over
        std::vector<const char*> reasons;  // those of a refused save
    } races[] = {{out,
                  [&] {
                      for (const std::string& from : {victim, his})
                          if (::link(from.c_str(), next.c_str()) == 0)
                              ::rename(next.c_str(), out.c_str());
                  },
                  {"the name was given to another file during the save"}},
                 {fresh,
                  [&] {
                      ::close(::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
                      ::unlink(fresh.c_str());
                  },
                  {"make a new file: the name was taken by another file during the save",
                   "open: another user's file in a shared sticky folder"}}};
    for (const auto& race : races) {
        const pid_t swapper = fork_child([&] {
            if (!become_user(owner)) return 100;
            for (;;) race.swap();
        });
        // Each save is written, or refused for the name that changed: 0, else 1.
        const int saves = run_as_user(saver, [&] {
            for (int i = 0; i < 300; ++i) {
                std::string why;
                if (plat_write_file(race.path, bytes_of(300, 'x'), &why)) {
                    if (race.path == fresh) ::unlink(fresh.c_str());
                } else if (std::none_of(race.reasons.begin(), race.reasons.end(),
                                        [&](auto r) { return why.find(r) != std::string::npos; })) {
                    std::fprintf(stderr, "%s\n", why.c_str());
                    return 1;
                }
            }
            return 0;
        });
        kill_child(swapper);
        EXPECT_EQ(saves, 0) << race.path;
    }
    ASSERT_EQ(::stat(victim.c_str(), &after), 0);
    EXPECT_EQ(t.read("victim/v.bmp"), "private");
    EXPECT_EQ(std::tuple(after.st_ino, after.st_mode & 07777, after.st_uid),
              std::tuple(before.st_ino, 0644u, saver));
}

// A file of user B in B's folder open to all, which A may write (by its mode, or by an ACL
// entry while its group may only read): a new file could not be B's, and the ACL's group entry
// would then speak for A's group. It is written in place, so B keeps it as it was.
TEST(PlatWriteFile, AFileWhoseOwnerCannotBeKeptIsWrittenInPlace)
{
    if (::geteuid() != 0) GTEST_SKIP() << "a second user needs root";
    const uid_t saver = WRITE_FILE_OTHER_UID, owner = WRITE_FILE_ATTACKER_UID;
    const std::string acl = acl_bytes({{WRITE_FILE_ACL_USER_OBJ, 6, WRITE_FILE_ACL_NO_ID},
                                       {WRITE_FILE_ACL_USER, 6, saver},
                                       {WRITE_FILE_ACL_GROUP_OBJ, 4, WRITE_FILE_ACL_NO_ID},
                                       {WRITE_FILE_ACL_MASK, 6, WRITE_FILE_ACL_NO_ID},
                                       {WRITE_FILE_ACL_OTHER, 0, WRITE_FILE_ACL_NO_ID}});
    for (const bool by_acl : {true, false}) {
        TempDir t;
        const std::string path = t.write("pic.bmp", "old");
        ASSERT_EQ(::chown(t.file("").c_str(), owner, owner) | ::chmod(t.file("").c_str(), 0777) |
                      ::chown(path.c_str(), owner, owner) |
                      ::chmod(path.c_str(), by_acl ? 0640 : 0666),
                  0);
        if (by_acl &&
            ::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
            GTEST_SKIP() << "no ACL here: " << std::strerror(errno);
        struct stat before, after;
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        EXPECT_EQ(save_as(saver, path, 5, 'n', ""), 0) << by_acl;
        ASSERT_EQ(::stat(path.c_str(), &after), 0);
        EXPECT_EQ(std::tuple(after.st_ino, after.st_uid, after.st_gid, after.st_mode & 07777),
                  std::tuple(before.st_ino, owner, owner, before.st_mode & 07777))
            << by_acl;
        EXPECT_EQ(t.read("pic.bmp"), "nnnnn");
        if (by_acl) {
            EXPECT_EQ(attribute(path, "system.posix_acl_access"), acl);
        }
        EXPECT_EQ(names_in(t), std::vector<std::string>{"pic.bmp"}) << by_acl;
    }
}

// ---- a folder that keeps every name -----------------------------------------------------------

// A small ext4 file system in a file, mounted for the test: it takes the append-only flag.
class Ext4Image {
public:
    explicit Ext4Image(const TempDir& t) : image_(t.file("fs.img")), root_(t.file("mnt"))
    {
        fs::create_directories(root_);
        const std::string make = "truncate -s 8M '" + image_ + "' && mkfs.ext4 -q -F '" + image_ +
                                 "' >/dev/null 2>&1 && mount -o loop '" + image_ + "' '" + root_ +
                                 "' 2>/dev/null";
        mounted_ = std::system(make.c_str()) == 0;
    }
    ~Ext4Image()
    {
        if (mounted_) ::umount2(root_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    std::string file(const std::string& name) const { return root_ + "/" + name; }

private:
    std::string image_, root_;
    bool mounted_ = false;
};

// Sets or clears the append-only flag of a folder or file; false when the file system has none.
bool set_append_only(const std::string& path, bool on)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_APPEND_FL : flags & ~FS_APPEND_FL;
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

// In an append-only folder no name can be renamed or removed: a replace writes in place at
// once, a new file is linked straight in where it can be unnamed and named again through /proc,
// and refused where it cannot; whatever the result, no name the save made stays behind. An
// append-only file takes no write that does not append: refused, as any file not open to writing.
TEST(PlatWriteFile, InAnAppendOnlyFolderASaveLeavesNoNameItMade)
{
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    TempDir t;
    Ext4Image ext4(t);
    if (!ext4.mounted()) GTEST_SKIP() << "no ext4 image can be mounted here";
    const std::string folder = ext4.file("kept");
    fs::create_directories(folder);
    const std::string old = folder + "/old.bmp";
    std::ofstream(old) << "old";
    struct stat before, after;
    ASSERT_EQ(::stat(old.c_str(), &before), 0);
    ASSERT_TRUE(set_append_only(folder, true));
    const char* kept = "make a new file: the folder keeps every name, and no unnamed file";
    for (int route = 0; route < 3; ++route) {  // unnamed, named, unnamed without /proc
        plat_write_file_unnamed(route != 1);
        const char v = char('a' + route);
        const std::function<bool()> first = route == 2 ? hide_proc : std::function<bool()>{};
        EXPECT_EQ(save_as(0, old, 50, v, "-", first), 0) << route;
        const std::string made = folder + "/new" + std::to_string(route) + ".bmp";
        EXPECT_EQ(save_as(0, made, 50, v, kept, first), route == 0 ? 0 : 1) << route;
        EXPECT_EQ(t.read("mnt/kept/old.bmp") + t.read("mnt/kept/new0.bmp"),
                  std::string(50, v) + std::string(50, 'a'))
            << route;
    }
    plat_write_file_unnamed(1);
    ASSERT_EQ(::stat(old.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    set_append_only(folder, false);
    ASSERT_TRUE(set_append_only(old, true));
    std::string why;
    EXPECT_FALSE(plat_write_file(old, bytes_of(3, 'x'), &why));
    EXPECT_EQ(why, "open: Operation not permitted");
    set_append_only(old, false);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"new0.bmp", "old.bmp"}));
    EXPECT_EQ(t.read("mnt/kept/old.bmp"), std::string(50, 'c'));
}

// ---- links of the kernel's own ----------------------------------------------------------------

// Runs fn in a child whose standard output is out_fd (when >= 0).
int with_stdout(int out_fd, const std::function<int()>& fn)
{
    return finish_child(fork_child([&] {
                            if (out_fd >= 0 && ::dup2(out_fd, 1) < 0) return 100;
                            return fn();
                        }),
                        30s);
}

// /dev/stdout and /proc/self/fd/N stand for open objects, not for the paths their texts show:
// a log file on standard output is written in place (the program's own output goes on into
// it), and a deleted file takes the bytes and no file is named after it (a pipe: below).
TEST(PlatWriteFile, AKernelLinkWritesToTheObjectItStandsFor)
{
    TempDir t;
    auto save = [&](const std::string& path, char v) {
        std::string why;
        if (plat_write_file(path, bytes_of(3000, v), &why) == 1) return 0;
        std::fprintf(stderr, "%s: %s\n", path.c_str(), why.c_str());
        return 1;
    };

    const std::string log = t.write("log.txt", "earlier output\n");
    struct stat before, after;
    ASSERT_EQ(::stat(log.c_str(), &before), 0);
    const int log_fd = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    char v = 'a';
    for (const char* path : {"/dev/stdout", "/proc/self/fd/1", "/dev/fd/1"}) {
        EXPECT_EQ(with_stdout(log_fd, [&] { return save(path, v); }), 0) << path;
        EXPECT_EQ(t.read("log.txt"), std::string(3000, v++)) << path;
    }
    ::close(log_fd);
    ASSERT_EQ(::stat(log.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);

    const std::string gone = t.write("gone.txt", "old");
    const int gone_fd = ::open(gone.c_str(), O_RDWR | O_CLOEXEC);
    ::unlink(gone.c_str());
    EXPECT_EQ(save("/proc/self/fd/" + std::to_string(gone_fd), 'g'), 0);
    std::string kept(4000, '\0');
    kept.resize(size_t(std::max<ssize_t>(::pread(gone_fd, kept.data(), kept.size(), 0), 0)));
    ::close(gone_fd);
    EXPECT_EQ(kept, std::string(3000, 'g'));
    EXPECT_EQ(names_in(t), std::vector<std::string>{"log.txt"});
}

enum class WriteFileReader { SLOW, NEVER, GONE };

// The pipe cases of the test below, in its process of its own: 0 when all passed.
int pipe_reader_cases()
{
    std::vector<uint8_t> large(3 << 20);
    for (size_t i = 0; i < large.size(); ++i) large[i] = uint8_t(i * 131 + (i >> 12));
    using R = WriteFileReader;
    const std::tuple<R, bool, const char*> cases[] = {
        {R::SLOW, false, ""},
        {R::NEVER, false, "write: not taken within 5 s, given up"},
        {R::NEVER, true, "write: given up for an end signal"},
        {R::GONE, false, "write: Broken pipe"}};
    for (auto [reader, end_signal, reason] : cases) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return 1;
        const pid_t writer = fork_child([&, end_signal = end_signal, reason = reason] {
            ::close(fds[0]);  // the reader is the test's alone
            ::dup2(fds[1], 1);
            ::signal(SIGPIPE, SIG_IGN);
            if (end_signal) {
                plat_install_term_handler();
                ::raise(SIGTERM);
            }
            std::string why;
            const int saved = plat_write_file("/dev/stdout", large, &why);
            return saved == (*reason == 0) && why == reason ? 0 : 1;
        });
        ::close(fds[1]);
        // Longer than one wait of the writer's, then in small parts; one that goes away does
        // so after the first pipe's worth.
        std::vector<uint8_t> piped;
        if (reader != R::NEVER) std::this_thread::sleep_for(300ms);
        uint8_t part[4096];
        for (ssize_t n; reader != R::NEVER && (reader == R::SLOW || piped.size() < (64u << 10)) &&
                        (n = ::read(fds[0], part, sizeof part)) > 0;)
            piped.insert(piped.end(), part, part + n);
        if (reader == R::GONE) ::close(std::exchange(fds[0], -1));
        EXPECT_EQ(finish_child(writer, 30s), 0) << reason;
        if (reader == R::SLOW) {
            EXPECT_TRUE(piped == large) << piped.size();
        }
        if (fds[0] >= 0) ::close(fds[0]);
    }
    return ::testing::Test::HasFailure() ? 1 : 0;
}

// A pipe's reader sets the pace: some megabytes, far more than a pipe holds, reach one that
// pauses longer than a wait of the writer's and then reads in small parts, whole and in order;
// one that never reads costs the bounded wait, or none once an end signal came; one that goes
// away fails the save. In a process started afresh, where no end signal that another test sent
// to this one stands.
TEST(PlatWriteFile, APipeTakesThePictureAsItsReaderReadsWithinABoundedWait)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(pipe_reader_cases()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
