// The resource loader (see resload.h): the chunk readers that hand each kind to the resource
// manager, the step machine that reads a group file a chunk at a time, start and stop, and the
// request ring.
#include "res/resload.h"
#include "res/resload_local.h"

#include "math/vm_vec.h"
#include "res/mdl_decode.h"
#include "plat/byte_order.h"
#include "plat/files.h"
#include "util/data_err.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t RESLOAD_BIG_TEX_CHUNK = 0x200000;  // the loader yields after one

// Step words of the machine.
enum Step : int {
    RESLOAD_STEP_IDLE = 0,
    RESLOAD_STEP_NEXT = 1,
    RESLOAD_STEP_OPEN = 2,
    RESLOAD_STEP_HEADER = 3,
    RESLOAD_STEP_DATA = 4,
    RESLOAD_STEP_DISPATCH = 5,
    RESLOAD_STEP_CATEGORY = 6,
    RESLOAD_STEP_CHOOSE = 7,
    RESLOAD_STEP_TEXTURE = 8,
    RESLOAD_STEP_CROP = 9,
    RESLOAD_STEP_FINISH = 10,
};

struct ResLoadRequest {
    char name[RESLOAD_NAME_MAX + 1];
    uint32_t kind;
    uint32_t flags;
};

struct ResLoadState {
    int step;
    int status;  // a ResLoadResult: RESLOAD_CONTINUE while busy
    // The open group file, read chunk by chunk: its path, size and read
    // position, and where the current chunk's header began.
    void* file;
    std::string path;
    uint64_t file_total, file_pos, chunk_at;
    ChunkHeader header;
    std::vector<uint8_t> chunk;
    char group[RESLOAD_NAME_MAX + 1];  // the current request's stem
    uint32_t kind, flags;
    ResLoadRequest ring[RESLOAD_RING];
    uint32_t read, write;  // growing; slot = counter % 64
    uint32_t file_size, bytes_read;
    int language;
    char folders[3][RESLOAD_FOLDER_MAX + 1];
    char tex_folder[RESLOAD_FOLDER_MAX + 1];
    TexList texlst;
    int cat;
    uint32_t tex_cursor, crop_cursor;
    ResMark mark;
};

ResLoadState s;

const char* const RESLOAD_FOLDER_KEYS[3] = {"MODEL_DATA_PATH", "MODEL_DATA_PATHE",
                                            "MODEL_DATA_PATHC"};
const char* const RESLOAD_FOLDER_DEFAULTS[3] = {".\\data\\grp\\", ".\\data\\grpe\\",
                                                ".\\data\\grpc\\"};

// A folder value of 256 characters or more is not taken: the folder stays
// empty (the current folder).
void set_folder(char (&dst)[RESLOAD_FOLDER_MAX + 1], const std::string& v)
{
    dst[0] = 0;
    if (v.size() <= RESLOAD_FOLDER_MAX) std::memcpy(dst, v.c_str(), v.size() + 1);
}

// A fatal error: its one line for standard error (empty when the file layer
// wrote it already, refusing the file), then the error screen.
void fatal(uint16_t detail, const char* text, const std::string& line)
{
    res_env().fatal(RESLOAD_FATAL_CODE, 0, detail, text, line);
}

// `res: group not loaded "<file>": <reason>`, for the group file being read
// (or the request's name when none is open).
std::string group_line(std::string_view reason)
{
    return data_err_text("res: group not loaded", s.path.empty() ? s.group : s.path, reason);
}

// The current chunk's magic as its four bytes stand in the file.
std::string chunk_magic()
{
    uint8_t bytes[4];
    plat_le_put32(bytes, s.header.magic);
    return {bytes, bytes + 4};
}

// `chunk "ZQT " at byte 0`: the current chunk, its magic as read (the log
// line escapes it).
std::string chunk_where()
{
    return "chunk \"" + chunk_magic() + "\" at byte " + std::to_string(s.chunk_at);
}

void free_chunk()
{
    s.chunk.clear();
    s.chunk.shrink_to_fit();
}

// Drops the open file and the chunk read from it.
void close_file()
{
    if (s.file) res_env().file_close(s.file);
    s.file = nullptr;
    s.path.clear();
    s.file_total = s.file_pos = s.chunk_at = 0;
    free_chunk();
}

// Reads n bytes at the read position; false on a short read.
bool read_exact(uint8_t* dst, size_t n)
{
    size_t got = 0;
    while (got < n) {
        const size_t r = res_env().file_read(s.file, dst + got, n - got);
        if (r == 0) break;
        got += r;
    }
    s.file_pos += got;
    return got == n;
}

// Opens "<folder><name>.bin" from the first folder of the search order that
// has it; false with the line to write when none does (empty when the file
// layer refused a file there and wrote its own).
bool open_group_file(const char* name, std::string* line);

// Tries "<folder><name>.bin" in each folder of the search order until take
// accepts one.
template <typename Take>
bool first_bin(const char* name, Take take)
{
    if (!name) return false;
    for (int i = 0; i < 3; i++)
        if (take((std::string(s.folders[resload_folder_order(i)]) + name + ".bin").c_str()))
            return true;
    return false;
}

// After a fatal error that returns (the program is closing) the current
// request is given up, so that the next step starts cleanly with the next one;
// the status word keeps the step's result.
int abandon(int result)
{
    close_file();
    s.read++;
    s.step = RESLOAD_STEP_NEXT;
    s.status = result;
    return result;
}

// ---- chunk readers ---------------------------------------------------------------------

// The name at off stripped of its tokens, in a local copy.
bool stripped(ByteSpan d, uint32_t off, std::array<char, CHUNK_NAME_MAX + 1>& out)
{
    const char* n = chunk_rd_name(d, off);
    return n && name_strip_variant(out, n) >= 0;
}

}  // namespace

bool resload_read_model(const char* group, MutByteSpan d, uint32_t flags)
{
    ModelChunk m;
    if (chunk_parse_model(d, m) != CHUNK_OK) return false;
    char* name = reinterpret_cast<char*>(d.data() + m.name_off);
    int name_flags = name_strip_variant(std::span<char>(name, std::strlen(name) + 1), name);
    MeshSource src;
    mdl_decode(d, m, flags, uint32_t(name_flags), src);
    // A full mesh pool drops the model; that is no reason to stop the program.
    res_mesh_register(group, name, src, uint32_t(name_flags));
    return true;
}

bool resload_read_bone(const char* group, MutByteSpan d, uint32_t)
{
    BoneChunk b;
    int r = chunk_parse_bone(d, b);
    if (r == CHUNK_EMPTY) return true;
    std::array<char, CHUNK_NAME_MAX + 1> name;
    return r == CHUNK_OK && stripped(d, b.first_name_off, name) &&
           res_bone_register(group, name.data(), d);
}

bool resload_read_anime(const char* group, MutByteSpan d, uint32_t)
{
    AnimChunk a;
    std::array<char, CHUNK_NAME_MAX + 1> name;
    return chunk_parse_anime(d, a) == CHUNK_OK && stripped(d, a.name_off, name) &&
           res_anime_register(group, name.data(), d);
}

bool resload_read_coll(const char* group, MutByteSpan d, uint32_t)
{
    CollChunk c;
    std::array<char, CHUNK_NAME_MAX + 1> name;
    return chunk_parse_coll(d, c) == CHUNK_OK && stripped(d, c.name_off, name) &&
           res_coll_register(group, name.data(), d);
}

bool resload_read_tex(const char* group, MutByteSpan d, uint32_t flags)
{
    TexChunk t;
    if (chunk_parse_tex(d, t) != CHUNK_OK) return false;
    const char* name = chunk_rd_name(d, t.name_off);
    const bool mip = flags & RES_LOAD_MIPMAPS;
    std::array<char, CHUNK_NAME_MAX + 1> stem;
    if (!name_file_stem(stem, name)) return false;
    // A ".dds" file of the texture's stem in the first folder stands in for
    // the embedded image.
    std::string dds = std::string(s.folders[resload_folder_order(0)]) + stem.data() + ".dds";
    const uint32_t refusals = res_tex_budget_refusals();
    const ResHandle h =
        res_env().file_exists(dds.c_str())
            ? res_tex_load_file(group, dds.c_str(), mip)
            : res_tex_load_mem(group, name, d.data() + t.image_off, t.image_size, mip);
    // A texture past the budget is skipped (its line says so); the group loads on.
    return h != 0 || res_tex_budget_refusals() != refusals;
}

bool resload_read_crop(const char* group, MutByteSpan d, uint32_t)
{
    uint32_t n;
    if (chunk_parse_crop(d, n) != CHUNK_OK) return false;
    for (uint32_t i = 0; i < n; i++) {
        CropRec r;
        chunk_crop_rec(d, i, r);
        res_crop_register(group, chunk_rd_name(d, r.name_off), r.u, r.v, r.w, r.h,
                          chunk_rd_name(d, r.tex_name_off));
    }
    return true;
}

bool resload_read_shit(const char* group, MutByteSpan d, uint32_t)
{
    ShitChunk c;
    if (chunk_parse_shit(d, c) != CHUNK_OK) return false;
    res_shit_register(group, d);  // a closed pool drops it silently
    return true;
}

bool resload_read_camera(const char* group, MutByteSpan d, uint32_t)
{
    CamrChunk c;
    int r = chunk_parse_camr(d, c);
    if (r == CHUNK_EMPTY) return true;
    return r == CHUNK_OK && res_caminfo_register(group, chunk_rd_name(d, c.name_off), d);
}

bool resload_read_flash(const char* group, MutByteSpan d, uint32_t)
{
    FlaChunk f;
    int r = chunk_parse_fla(d, f);
    if (r == CHUNK_EMPTY) return true;
    return r == CHUNK_OK && res_flash_register(group, chunk_rd_name(d, f.name_off), d);
}

namespace {

bool (*const RESLOAD_READERS[CHUNK_KIND_COUNT])(const char*, MutByteSpan, uint32_t) = {
    resload_read_model, resload_read_bone, resload_read_anime,  resload_read_coll, resload_read_tex,
    resload_read_crop,  resload_read_shit, resload_read_camera, resload_read_flash};

// ---- steps ---------------------------------------------------------------------------------

int queue_drained()
{
    res_mesh_bind_textures();
    s.file_size = s.bytes_read = 0;
    s.step = RESLOAD_STEP_IDLE;
    s.status = RESLOAD_IDLE;
    return RESLOAD_IDLE;
}

int step_next()
{
    while (s.read != s.write) {
        const ResLoadRequest& r = s.ring[s.read % RESLOAD_RING];
        std::array<char, RESLOAD_NAME_MAX + 1> stem;
        if (!name_file_stem(stem, r.name) || resload_group_loaded(stem.data())) {
            s.read++;
            continue;
        }
        std::memcpy(s.group, stem.data(), sizeof s.group);
        s.kind = r.kind;
        s.flags = r.flags;
        s.file_size = s.bytes_read = 0;
        s.status = RESLOAD_CONTINUE;
        if (s.kind == RESLOAD_KIND_GROUP)
            s.step = RESLOAD_STEP_OPEN;
        else if (s.kind == RESLOAD_KIND_CATEGORY)
            s.step = RESLOAD_STEP_CATEGORY;
        else {
            fatal(RESLOAD_ERR_KIND, nullptr,
                  group_line("a request of unknown kind " + std::to_string(s.kind)));
            return abandon(RESLOAD_FATAL);
        }
        return RESLOAD_CONTINUE;
    }
    return queue_drained();
}

// Why the reader refused the current chunk: the check every reader runs
// first, else the resource manager's want of room, else (a texture) its image.
std::string refusal(int kind)
{
    const int parsed = chunk_check(kind, s.chunk);
    if (parsed != CHUNK_OK && parsed != CHUNK_EMPTY)
        return std::string("rejected: ") + chunk_err_text(parsed);
    const ResFull full = res_full_last();
    if (full.pool >= 0) return "not registered: " + res_full_text(full);
    if (kind == CHUNK_TEX)
        return "not registered: its image is broken, of an unknown kind, or too large to decode";
    return "not registered";
}

std::string hex8(uint32_t v)
{
    char b[9];
    std::snprintf(b, sizeof b, "%08x", v);
    return b;
}

int step_dispatch()
{
    const int kind = chunk_kind_of(s.header.magic);
    if (kind < 0) {
        const std::string hex = hex8(s.header.magic);
        // The magic up to its first zero byte, as the fatal text always gave it.
        const std::string text = std::string(s.group) + "/" + chunk_magic().c_str() + "/" + hex;
        fatal(RESLOAD_ERR_MAGIC, text.c_str(),
              group_line(chunk_where() + " (" + hex + ") is of no known kind"));
        return abandon(RESLOAD_BAD_MAGIC);
    }
    const ChunkKindInfo& info = chunk_kind_info(kind);
    if (s.header.version != info.version) {
        // Reported, then read all the same: every reader checks its bounds, so
        // a chunk laid out otherwise fails as a registration, never unsafely.
        const std::string found = hex8(s.header.version), wanted = hex8(info.version);
        const std::string text = std::string(s.group) + "/" + found + "/" + wanted;
        fatal(info.version_error, text.c_str(),
              group_line(chunk_where() + " has version " + found + ", not " + wanted));
    }
    res_full_clear();
    if (!RESLOAD_READERS[kind](s.group, MutByteSpan(s.chunk), s.flags))
        fatal(info.register_error, s.group, group_line(chunk_where() + " " + refusal(kind)));
    if (kind == CHUNK_TEX && s.header.size > RESLOAD_BIG_TEX_CHUNK) res_env().yield();
    free_chunk();
    s.step = RESLOAD_STEP_HEADER;
    return RESLOAD_CONTINUE;
}

int step_file()
{
    if (s.step == RESLOAD_STEP_OPEN) {
        std::string line;
        if (!open_group_file(s.group, &line)) {
            fatal(RESLOAD_ERR_OPEN, s.group, line);
            return abandon(RESLOAD_OPEN_FAILED);
        }
        s.file_size = uint32_t(s.file_total > 0xFFFFFFFFu ? 0xFFFFFFFFu : s.file_total);
        s.step = RESLOAD_STEP_HEADER;
    }
    if (s.step == RESLOAD_STEP_HEADER) {
        uint8_t head[CHUNK_HEADER_SIZE];
        s.chunk_at = s.file_pos;
        const bool whole = read_exact(head, sizeof head);
        // Nothing read is the end only at the file's end: before it, the file layer failed.
        if (s.file_pos == s.chunk_at && s.file_pos >= s.file_total) {
            s.step = RESLOAD_STEP_FINISH;
            return RESLOAD_CONTINUE;
        }
        if (!whole) {
            // Short of the file's end, the file layer failed and said so.
            const bool ends = s.file_pos >= s.file_total;
            fatal(RESLOAD_ERR_HEADER, s.group,
                  ends ? group_line("ends inside a chunk header at byte " +
                                    std::to_string(s.chunk_at))
                       : std::string());
            return abandon(RESLOAD_FATAL);
        }
        chunk_header_read(ByteSpan(head, sizeof head), s.header);
        s.bytes_read += CHUNK_HEADER_SIZE;
        s.step = RESLOAD_STEP_DATA;
    }
    if (s.step == RESLOAD_STEP_DATA) {
        // A size beyond what the file still holds is a short read, found before
        // anything is allocated for it: only one chunk is ever held.
        const uint64_t left = s.file_total > s.file_pos ? s.file_total - s.file_pos : 0;
        if (s.header.size > left) {
            fatal(RESLOAD_ERR_DATA, s.group,
                  group_line(chunk_where() + " announces " + std::to_string(s.header.size) +
                             " bytes, but the file holds " + std::to_string(left) + " more"));
            return abandon(RESLOAD_FATAL);
        }
        s.chunk.resize(s.header.size);
        if (!read_exact(s.chunk.data(), s.chunk.size())) {
            fatal(RESLOAD_ERR_DATA, s.group, std::string());  // the file layer said why
            return abandon(RESLOAD_FATAL);
        }
        s.bytes_read += s.header.size;
        s.step = RESLOAD_STEP_DISPATCH;
    }
    return step_dispatch();
}

int step_category()
{
    if (s.step == RESLOAD_STEP_CATEGORY) {
        s.cat = texlst_find(s.texlst, s.group);
        if (s.cat < 0) {
            fatal(RESLOAD_ERR_CATEGORY, s.group,
                  data_err_text("res: category not loaded", std::string(s.tex_folder) + "tex.lst",
                                "no category \"" + std::string(s.group) + "\""));
            return abandon(RESLOAD_FATAL);
        }
        s.tex_cursor = s.crop_cursor = 0;
        s.step = RESLOAD_STEP_CHOOSE;
    }
    const uint32_t cat = uint32_t(s.cat);
    switch (s.step) {
    case RESLOAD_STEP_CHOOSE:
        s.step = s.tex_cursor < texlst_tex_count(s.texlst, cat)     ? RESLOAD_STEP_TEXTURE
                 : s.crop_cursor < texlst_crop_count(s.texlst, cat) ? RESLOAD_STEP_CROP
                                                                    : RESLOAD_STEP_FINISH;
        return RESLOAD_CONTINUE;
    case RESLOAD_STEP_TEXTURE: {
        // A texture that cannot be loaded is skipped.
        std::string path =
            std::string(s.tex_folder) + texlst_tex_name(s.texlst, cat, s.tex_cursor++);
        res_tex_load_file(s.group, path.c_str(), false);
        s.step = RESLOAD_STEP_CHOOSE;
        return RESLOAD_CONTINUE;
    }
    default: {  // RESLOAD_STEP_CROP
        uint32_t j = s.crop_cursor++;
        const TexLstCrop* c = texlst_crop(s.texlst, cat, j);
        res_crop_register(s.group, c->name.c_str(), c->frac[0], c->frac[1], c->frac[2], c->frac[3],
                          texlst_crop_tex_name(s.texlst, cat, j));
        s.step = RESLOAD_STEP_CHOOSE;
        return RESLOAD_CONTINUE;
    }
    }
}

}  // namespace

// ---- start, stop -----------------------------------------------------------------------------

void resload_boot()
{
    texlst_clear(s.texlst);
    s.step = RESLOAD_STEP_IDLE;
    s.status = RESLOAD_IDLE;
    close_file();
    s.read = s.write = 0;
    s.file_size = s.bytes_read = 0;
    s.cat = -1;
    s.tex_cursor = s.crop_cursor = 0;
    ResEnv& env = res_env();
    for (int i = 0; i < 3; i++)
        set_folder(s.folders[i],
                   env.get_string(RESLOAD_FOLDER_KEYS[i], RESLOAD_FOLDER_DEFAULTS[i]));
    set_folder(s.tex_folder, env.get_string("TEX_DATA_PATH", ".\\data\\texture\\"));
    int golng = 0;
    s.language = (env.arcade_get_int("golng", &golng) && golng == 1) ? 0 : 1;
    std::vector<uint8_t> lst;
    std::string path = std::string(s.tex_folder) + "tex.lst";
    if (env.read_file(path.c_str(), lst))
        texlst_parse(std::string_view(reinterpret_cast<const char*>(lst.data()), lst.size()),
                     s.texlst);
    s.status = RESLOAD_CONTINUE;
    res_mark(s.mark);
}

void resload_shutdown()
{
    close_file();
    res_release_to_mark(s.mark);
    texlst_clear(s.texlst);
}

void resload_abort()
{
    s.step = RESLOAD_STEP_IDLE;
    s.read = s.write = 0;
    close_file();
}

// ---- requests ----------------------------------------------------------------------------------

bool resload_request(const char* name, uint32_t flags)
{
    if (!name || std::strlen(name) > RESLOAD_NAME_MAX) return false;
    if (s.read == s.write) s.read = s.write = 0;
    const uint32_t pending = s.write - s.read;
    if (pending >= RESLOAD_RING) return false;
    for (uint32_t i = s.read; i != s.write; i++)
        if (std::strcmp(s.ring[i % RESLOAD_RING].name, name) == 0) return true;
    ResLoadRequest& r = s.ring[s.write % RESLOAD_RING];
    std::memcpy(r.name, name, std::strlen(name) + 1);
    r.kind = texlst_find(s.texlst, name) >= 0 ? RESLOAD_KIND_CATEGORY : RESLOAD_KIND_GROUP;
    r.flags = flags;
    s.write++;
    s.step = RESLOAD_STEP_NEXT;
    s.status = RESLOAD_CONTINUE;
    return true;
}

bool resload_request_list(const char* const* names, uint32_t count, uint32_t flags)
{
    bool all = true;
    for (uint32_t i = 0; i < count; i++)
        all = resload_request(names ? names[i] : nullptr, flags) && all;
    return all;
}

int resload_step()
{
    switch (s.step) {
    case RESLOAD_STEP_IDLE: s.status = RESLOAD_IDLE; return RESLOAD_IDLE;
    case RESLOAD_STEP_NEXT: return step_next();
    case RESLOAD_STEP_OPEN:
    case RESLOAD_STEP_HEADER:
    case RESLOAD_STEP_DATA:
    case RESLOAD_STEP_DISPATCH: return step_file();
    case RESLOAD_STEP_CATEGORY:
    case RESLOAD_STEP_CHOOSE:
    case RESLOAD_STEP_TEXTURE:
    case RESLOAD_STEP_CROP: return step_category();
    case RESLOAD_STEP_FINISH:
        close_file();
        s.step = RESLOAD_STEP_NEXT;
        s.read++;
        return RESLOAD_CONTINUE;
    default: {
        // A step word nobody set: reported once, and the machine starts over.
        const std::string text = hex8(uint32_t(s.step));
        fatal(RESLOAD_ERR_STEP, text.c_str(),
              group_line("the loader's step " + text + " is unknown"));
        close_file();
        s.step = RESLOAD_STEP_NEXT;
        return RESLOAD_FATAL;
    }
    }
}

int resload_pump(float limit)
{
    int r = resload_step();
    while (r == RESLOAD_CONTINUE && res_env().frame_percent() < limit) r = resload_step();
    return r;
}

float resload_progress()
{
    if (s.write == 0) return 1.0f;
    float file = s.file_size > 0 ? vm_clamp01(float(s.bytes_read) / float(s.file_size)) : 1.0f;
    return vm_clamp01(float(s.read) / float(s.write + 1) + file / float(s.write));
}

bool resload_open_bin(const char* name, std::vector<uint8_t>& bytes)
{
    return first_bin(name, [&](const char* path) { return res_env().read_file(path, bytes); });
}

namespace {

bool open_group_file(const char* name, std::string* line)
{
    close_file();
    bool refused = false;
    if (first_bin(name, [&](const char* path) {
            std::string why;
            s.file = res_env().file_open(path, &s.file_total, &why);
            refused = refused || !why.empty();
            if (s.file) s.path = path;
            return s.file != nullptr;
        }))
        return true;
    if (refused) return false;  // the file layer's line says why
    const char* const joins[] = {"", ", ", " or "};
    std::string folders;
    for (int i = 0; i < 3; i++) {
        const std::string folder = plat_path_native(s.folders[resload_folder_order(i)]);
        folders += joins[i] + ("\"" + folder + "\"");
    }
    *line = data_err_text("res: group not loaded", std::string(name) + ".bin", "not in " + folders);
    return false;
}

}  // namespace

int resload_file_exists(const char* name)
{
    return first_bin(name, [](const char* path) { return res_env().file_exists(path); }) ? 1 : 0;
}

bool resload_group_loaded(const char* name) { return res_cat_find(name) != 0; }

// ---- accessors ---------------------------------------------------------------------------------

const char* resload_model_folder(int i) { return i >= 0 && i < 3 ? s.folders[i] : nullptr; }
const char* resload_tex_folder() { return s.tex_folder; }

void resload_set_model_folder(int i, const char* folder)
{
    if (i >= 0 && i < 3) set_folder(s.folders[i], folder ? folder : ".\\");
}

void resload_set_tex_folder(const char* folder)
{
    set_folder(s.tex_folder, folder ? folder : ".\\");
}
void resload_set_language(int index) { s.language = index; }
int resload_language() { return s.language; }
void resload_set_read(uint32_t v) { s.read = v; }
void resload_set_write(uint32_t v) { s.write = v; }
void resload_set_step(int step) { s.step = step; }
void resload_set_status(int status) { s.status = status; }
void resload_advance_read(uint32_t n) { s.read += n; }
int resload_get_step() { return s.step; }
int resload_get_status() { return s.status; }
uint32_t resload_pending() { return s.write - s.read; }

int resload_folder_order(int i)
{
    int v = (s.language + i) % 3;
    return v < 0 ? v + 3 : v;
}

const TexList& resload_texlst() { return s.texlst; }
