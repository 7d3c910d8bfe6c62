// Files and folders.
//
// Provides:
// - paths in the engine's form: '\' is a folder separator ("..\",
//   ".\data\grp\"), turned into '/' here, everywhere but in the two calls
//   of a save (plat_path_exists, plat_write_file), which take the path the
//   user chose exactly as it is: there '\' is a character of a name;
// - opening a data file whose exact name is missing through a
//   case-insensitive match, folder by folder (as on a Windows disk);
// - folder listings of plain files matching a pattern ("*.bin", '*' and '?',
//   case-insensitive), sorted by name case-insensitively and then byte by
//   byte, so that every machine lists in the same order;
// - the running program's folder, the current folder, changing it, and the
//   plain directory test;
// - the one writer of whole files, which never leaves a part of them and
//   never waits long (its section);
// - the one reader of data files, which never blocks and never reads more
//   than a ceiling (its section at the end).
// Callers rely on: exact names being tried first (a case-insensitive match
// never hides an exact one), on listings holding no folders, and on no
// function here changing the current folder except plat_set_current_dir.
// Paths of any length are accepted; nothing is truncated.
#pragma once
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// '\' to '/'.
std::string plat_path_native(std::string_view path);

// ---- writing a whole file (write_file.cpp) ----
// Every file the program writes goes through plat_write_file.
//
// Writes bytes as the whole content of path, so that the path never holds a
// part of them. Each name of the path is looked up once, relative to the
// folder before it, and every later step acts on the folder so found: a name
// swapped meanwhile cannot lead the write elsewhere, and a path of any legal
// length works. Links are followed to the name they finally lead to, but in a
// folder that is sticky and writable by others (the shared temporary folder)
// only a link of the user's or of the folder's owner is followed, as the
// kernel's protected-symlink rule would have it; any other is refused, and so
// is a regular file or named pipe there of anyone else (the protected-regular
// and -fifo rules), which anyone may have put there to be written. A link
// of the kernel's own (/proc/<pid>/fd/N, /proc/self/..., so /dev/stdout too)
// stands for an open object, not for its text: the object takes the bytes, a
// regular file in place, anything else as a device or a pipe.
//
// A regular file there is replaced only when the user could open it for
// writing (else "Permission denied"), and only by a complete new one: the
// bytes go to a new file in its folder that takes over the old file's owner
// and group, mode, access ACL (or its absence) and the extended attributes
// the user may set; it is synced, takes the old one's place at once, and the
// folder is synced. The replacement is a new file: another hard link to the
// old one keeps the old bytes. The old protection is read through a
// descriptor of the old file, so no /proc is needed. The new file has no name
// while it is written where the file system allows it and /proc is there to
// name it by later, so a killed process leaves nothing; else it has a short
// name of fixed length with a random part, which such a kill may leave. A new
// name (also the missing target of a link) is made the same way. Either way
// any legal name can be saved.
//
// A regular file is written in place instead when its folder takes no new file
// for want of permission, lets only the file's owner (or its own) replace it,
// keeps every name it is given (append-only or immutable; such a file itself
// cannot be opened for writing and is refused), or when its owner and group,
// ACL or attributes cannot be given to a new file (so that its protection never
// widens; attributes the user may not read cannot be given either); never cut
// first: the whole new size is reserved before the first byte is written, so
// that a lack of space fails with the old bytes intact. These reasons are those
// of what was found: a name that held the user's own file and is refused its
// replacement was given to another file meanwhile, and the save is refused;
// protection that the system fails to read refuses it too ("the old file's
// protection cannot be read"), and so does a new name that another file took
// meanwhile ("the name was taken by another file during the save"). A save
// leaves no name it made behind: in a folder that keeps every name, a new file
// is linked in only once complete and unnamed, and refused where it could not
// be unnamed or /proc is missing.
//
// A device or a pipe is written in place without ever blocking: a reader that
// does not take the bytes within PLAT_WRITE_SPECIAL_MAX_MS fails the write,
// and so does an end signal (plat_term_requested) at once; one that has gone
// away fails it with EPIPE (SIGPIPE is ignored, see plat_install_term_handler).
//
// 1 when every byte was written and synced; 0 with the failed step and the
// reason in why (may be null). The path is taken exactly as it is: no '\'
// conversion and no case-insensitive match. A path naming a folder (see
// plat_path_names_folder) is refused.
int plat_write_file(std::string_view path, std::span<const uint8_t> bytes, std::string* why);

// The longest a write to a device or a pipe waits for its reader, in ms.
constexpr int PLAT_WRITE_SPECIAL_MAX_MS = 5000;

// 1 when the path's last component is empty, "." or ".." ("t/", "t/.",
// ".."): it names a folder, never a file to write.
int plat_path_names_folder(std::string_view path);

// The path that a write to an engine path ('\' separators, case-insensitive
// folders) goes to: an existing name as found, else the name as given inside
// its resolved folder.
std::string plat_path_for_write(std::string_view path);

// fopen on a resolved path, for reading only ("r", "rb", "rt"); null on
// failure and for any other mode. Never waits: a named pipe without a writer
// opens at once and reads as empty.
std::FILE* plat_fopen(std::string_view path, const char* mode);

int plat_is_dir(std::string_view path);
int plat_is_file(std::string_view path);
// 1 when anything (file, folder, link, device) has exactly this name,
// whether or not it can be read (no '\' conversion and no case-insensitive
// match: plat_write_file to this path would write exactly this name).
int plat_path_exists(std::string_view path);

// Plain files of a folder whose names match the pattern, sorted. 1 or 0
// (a missing folder), names only.
int plat_list_files(std::string_view folder, std::string_view pattern,
                    std::vector<std::string>* names);

// The running program's folder with a trailing '/'; empty when it cannot
// be read.
std::string plat_exe_dir(void);
// The current folder; empty on failure.
std::string plat_current_dir(void);
// chdir on the native path; 1 or 0. An empty path changes nothing and
// answers 0.
int plat_set_current_dir(std::string_view path);

// ---- reading a data file ----
// Every file of the data set (settings, groups, texture lists, images,
// shaders, sounds) is read through these, so that a hostile file costs a
// refusal, never a hang or the memory it claims: the path is resolved as
// above, only a regular file is taken (a folder, a pipe, a device or a socket
// is refused without ever blocking), its size is checked against the ceiling
// before anything is allocated, and no more than the size seen at opening is
// read. A refusal writes one line to standard error,
// `file: not read "<path>": <reason>`, and gives the reason in why; a missing
// file writes nothing and leaves why empty, since callers treat it as a
// normal state.

// The largest data file read, whatever the caller allows.
constexpr uint64_t PLAT_DATA_FILE_MAX = 256ull << 20;

// An open data file. Reads end at the size seen when it was opened: a file
// that grows meanwhile is cut to that size, one that shrinks is a failed read.
struct PlatDataFile {
    int fd = -1;
    uint64_t size = 0;  // bytes, at opening
    uint64_t pos = 0;   // bytes read so far
    std::string path;   // as resolved, for the refusal line
    std::string error;  // the reason of a failed read, empty while none
    PlatDataFile() = default;
    PlatDataFile(const PlatDataFile&) = delete;
    PlatDataFile& operator=(const PlatDataFile&) = delete;
    ~PlatDataFile();
};

// Opens path for reading when it is a regular file of at most max bytes (the
// smaller of max and PLAT_DATA_FILE_MAX). 1, or 0 with the reason in why (may
// be null).
int plat_data_file_open(std::string_view path, uint64_t max, PlatDataFile* file, std::string* why);
// Up to n bytes from the read position, never past the size seen at opening;
// fewer only at that end or on a failure (then written once, as a refusal).
size_t plat_data_file_read(PlatDataFile* file, uint8_t* dst, size_t n);
void plat_data_file_close(PlatDataFile* file);
// The whole file into out (cleared on failure). 1, or 0 with why as above.
int plat_read_data_file(std::string_view path, uint64_t max, std::vector<uint8_t>* out,
                        std::string* why);
