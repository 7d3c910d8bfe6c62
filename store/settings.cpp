// The arcade settings store (formats in settings.h): the named values, the CFG copies read and
// written with their CRC files, the built-in row tables per region, and the CRC-32 helpers.
#include "store/settings.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "plat/byte_order.h"
#include "plat/files.h"
#include "plat/flush.h"

namespace {

constexpr uint32_t SETTINGS_CRC_POLYNOMIAL = 0xEDB88320u;
constexpr uint32_t SETTINGS_CRC_BITWISE_POLYNOMIAL = 0x7Cu;

constexpr std::array<uint32_t, 256> make_crc_table()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? SETTINGS_CRC_POLYNOMIAL ^ (c >> 1) : c >> 1;
        t[n] = c;
    }
    return t;
}

constexpr std::array<uint32_t, 256> SETTINGS_CRC_TABLE = make_crc_table();

uint32_t crc32_update(uint32_t c, const uint8_t* bytes, size_t length)
{
    for (size_t k = 0; bytes && k < length; ++k)
        c = SETTINGS_CRC_TABLE[(c ^ bytes[k]) & 0xFF] ^ (c >> 8);
    return c;
}

// Streamed, so a file of any size up to the data-file ceiling is checked
// without holding it whole.
bool file_crc(const char* name, uint32_t* crc)
{
    PlatDataFile f;
    if (!name || !plat_data_file_open(name, PLAT_DATA_FILE_MAX, &f, nullptr)) return false;
    std::array<uint8_t, 16384> chunk;
    uint32_t c = 0xFFFFFFFFu;
    size_t n;
    while ((n = plat_data_file_read(&f, chunk.data(), chunk.size())) > 0)
        c = crc32_update(c, chunk.data(), n);
    *crc = ~c;
    return f.error.empty();
}

// ---------------------------------------------------------------------------
// The store

struct SettingValue {
    bool present;
    uint32_t type;
    int32_t i;      // type 0
    float f;        // type 1
    std::string s;  // type 2
};

struct SettingNode {
    std::string name;
    uint32_t type;
    SettingValue current;
    SettingValue fallback;  // the default value
};

struct SettingsStore {
    std::array<std::string, 2> cfg_names;  // empty until settings_load
    std::array<std::string, 2> crc_names;
    std::vector<SettingNode> nodes;  // insertion order
};

SettingsStore g_store;

// The blanks that separate the tokens of a CFG line.
bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

SettingNode* find_node(std::string_view name)
{
    for (SettingNode& n : g_store.nodes)
        if (n.name == name) return &n;
    return nullptr;
}

// Names become the first token of a line and must read back as one token.
bool valid_name(const char* name)
{
    if (!name || !*name) return false;
    size_t len = std::strlen(name);
    if (len > SETTINGS_MAX_NAME) return false;
    for (size_t k = 0; k < len; ++k)
        if (is_blank(name[k])) return false;
    return true;
}

// String values are the rest of their line.
bool valid_string_value(const char* value)
{
    if (!value) return false;
    size_t len = std::strlen(value);
    return len <= SETTINGS_MAX_VALUE && !std::memchr(value, '\n', len) &&
           !std::memchr(value, '\r', len);
}

SettingValue int_value(int32_t v) { return SettingValue{true, SETTINGS_INT, v, 0.0f, {}}; }
SettingValue float_value(float v) { return SettingValue{true, SETTINGS_FLOAT, 0, v, {}}; }
// Not present (refused) when the string cannot be stored.
SettingValue string_value(const char* v)
{
    if (!valid_string_value(v)) return SettingValue{};
    return SettingValue{true, SETTINGS_STRING, 0, 0.0f, v};
}

// Sets one of the node's two values. A node has one type for both values: a
// change of type also replaces the other value, so no value is ever read in
// the wrong form.
int set_value(const char* name, bool as_default, SettingValue value)
{
    if (!value.present || !valid_name(name)) return 0;
    SettingNode* node = find_node(name);
    if (!node) {
        g_store.nodes.push_back(SettingNode{name, value.type, {}, {}});
        node = &g_store.nodes.back();
    }
    SettingValue& target = as_default ? node->fallback : node->current;
    SettingValue& other = as_default ? node->current : node->fallback;
    if (node->type != value.type && other.present) other = value;
    node->type = value.type;
    target = std::move(value);
    return 1;
}

const SettingNode* find_typed(const char* name, uint32_t type)
{
    if (!name) return nullptr;
    const SettingNode* n = find_node(name);
    return (n && n->type == type && n->current.present) ? n : nullptr;
}

// ---------------------------------------------------------------------------
// Files

// The 4 stored bytes of a CRC file; false unless all 4 can be read.
bool read_stored_crc(const char* name, uint32_t* crc)
{
    PlatDataFile f;
    uint8_t b[4];
    if (!plat_data_file_open(name, PLAT_DATA_FILE_MAX, &f, nullptr) ||
        plat_data_file_read(&f, b, 4) != 4)
        return false;
    *crc = plat_le_get32(b);
    return true;
}

// Tokens of a CFG copy already checked against its CRC.
class CfgReader {
public:
    explicit CfgReader(const std::vector<uint8_t>& bytes)
        : p_(reinterpret_cast<const char*>(bytes.data())), end_(p_ + bytes.size())
    {}

    // Next whitespace-delimited token; false at the end or when it is longer
    // than `limit`.
    bool token(std::string& out, size_t limit)
    {
        while (p_ < end_ && is_blank(*p_)) ++p_;
        const char* start = p_;
        while (p_ < end_ && !is_blank(*p_) && *p_ != '\0') ++p_;
        if (p_ == start) return false;
        if (size_t(p_ - start) > limit) return false;
        out.assign(start, p_);
        return true;
    }

    // A string value: the rest of the line after the type's separator. The
    // writer puts one tab there; a hand edit may use blanks.
    bool rest_of_line(std::string& out, size_t limit)
    {
        if (p_ < end_ && *p_ == '\t') {
            ++p_;
        } else {
            while (p_ < end_ && (*p_ == ' ' || *p_ == '\t')) ++p_;
        }
        const char* start = p_;
        while (p_ < end_ && *p_ != '\n' && *p_ != '\0') ++p_;
        const char* stop = p_;
        if (stop > start && stop[-1] == '\r') --stop;
        if (p_ < end_) ++p_;
        if (size_t(stop - start) > limit) return false;
        out.assign(start, stop);
        return true;
    }

private:
    const char* p_;
    const char* end_;
};

// "%d"-like: the number at the start of the token, 0 when there is none;
// values beyond 32 bits are held at the limits.
int32_t parse_int_token(const std::string& t)
{
    long long v = std::strtoll(t.c_str(), nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return int32_t(v);
}

float parse_float_token(const std::string& t) { return std::strtof(t.c_str(), nullptr); }

// Reads name, type and value triples until the end. An over-long token or a
// type that is not a number ends the reading; what was read stays.
void read_cfg(const std::vector<uint8_t>& bytes)
{
    CfgReader in(bytes);
    std::string name, type_text, value;
    for (;;) {
        if (!in.token(name, SETTINGS_MAX_NAME)) return;
        if (!in.token(type_text, 16)) return;
        char* type_end = nullptr;
        long type = std::strtol(type_text.c_str(), &type_end, 10);
        if (type_end == type_text.c_str()) return;
        if (type == SETTINGS_INT) {
            if (!in.token(value, SETTINGS_MAX_VALUE)) return;
            settings_set_int(name.c_str(), parse_int_token(value));
        } else if (type == SETTINGS_FLOAT) {
            if (!in.token(value, SETTINGS_MAX_VALUE)) return;
            settings_set_float(name.c_str(), parse_float_token(value));
        } else if (type == SETTINGS_STRING) {
            if (!in.rest_of_line(value, SETTINGS_MAX_VALUE)) return;
            settings_set_string(name.c_str(), value.c_str());
        }
        // Any other type reads no value: its value token is taken as the next name.
    }
}

// Loads copy `k` when its checksum file matches its bytes; true when loaded.
bool load_copy(size_t k)
{
    std::vector<uint8_t> bytes;
    if (!plat_read_data_file(g_store.cfg_names[k], uint64_t(SETTINGS_MAX_FILE_BYTES), &bytes,
                             nullptr))
        return false;
    uint32_t stored = 0;
    if (!read_stored_crc(g_store.crc_names[k].c_str(), &stored)) return false;
    if (stored != crc32_table(bytes.data(), bytes.size())) return false;
    read_cfg(bytes);
    return true;
}

// One line a node: name, type and value separated by tabs (std::to_string formats as "%d"
// and "%f" do).
void write_cfg(const char* name)
{
    std::string text;
    for (const SettingNode& n : g_store.nodes) {
        std::string value;
        if (n.type == SETTINGS_INT) value = std::to_string(n.current.i);
        if (n.type == SETTINGS_FLOAT) value = std::to_string(double(n.current.f));
        if (n.type == SETTINGS_STRING) value = n.current.s;
        if (n.type == SETTINGS_INT || n.type == SETTINGS_FLOAT || n.type == SETTINGS_STRING)
            text += n.name + '\t' + std::to_string(n.type) + '\t' + value + '\n';
    }
    plat_write_file(name, {reinterpret_cast<const uint8_t*>(text.data()), text.size()}, nullptr);
}

void set_current_from_row(const SettingRow& r)
{
    if (!r.variable) return;
    if (r.type == SETTINGS_INT) settings_set_int(r.name, *static_cast<const int32_t*>(r.variable));
    if (r.type == SETTINGS_FLOAT)
        settings_set_float(r.name, *static_cast<const float*>(r.variable));
    if (r.type == SETTINGS_STRING)
        settings_set_string(r.name, static_cast<const char*>(r.variable));
}

void set_default_from_row(const SettingRow& r)
{
    if (!r.variable) return;
    if (r.type == SETTINGS_INT)
        settings_set_int_default(r.name, *static_cast<const int32_t*>(r.variable));
    if (r.type == SETTINGS_FLOAT)
        settings_set_float_default(r.name, *static_cast<const float*>(r.variable));
    if (r.type == SETTINGS_STRING)
        settings_set_string_default(r.name, static_cast<const char*>(r.variable));
}

void apply_rows(const SettingRow* rows, uint32_t row_count, bool flagged_only)
{
    for (uint32_t k = 0; rows && k < row_count; ++k)
        if (!flagged_only || rows[k].flag == 1) set_current_from_row(rows[k]);
    settings_save();
}

// ---------------------------------------------------------------------------
// The built-in table. Several rows share one variable: their defaults and
// current game values are the same word.

int32_t v_sndvol = 16, v_sndvold = 12, v_seltime = 0;
int32_t v_ioacmax = 44000, v_ioacmin = 26000, v_iobrmax = 47000, v_iobrmin = 28000;
int32_t v_iostmax = 64000, v_iostmin = 4000, v_ioabcflag = 0, v_iostcflag = 0;
int32_t v_coinfree = 0, v_coincpc = 1, v_coinstart = 1, v_coinconti = 1, v_networkid = 0;
int32_t v_al = 0, v_godiff = 3, v_dfdec = 15, v_gocontt = 30, v_goss = 1, v_goett = 20;
int32_t v_gopet = 80, v_goslot = 0, v_life = 7, v_shared_zero = 0, v_gomcgunnr = 100;
int32_t v_bslf1 = 10, v_bslf2 = 16;
// Only the second table's own words.
int32_t v_alt_coinstart = 2, v_alt_gospd = 1, v_alt_golng = 1;

#define SETTING_ROWS(COINSTART, GOSPD, GOLNG)                                                      \
    {"sndvol", 0, &v_sndvol, 1}, {"sndvold", 0, &v_sndvold, 1}, {"seltime", 0, &v_seltime, 1},     \
        {"ioacmax", 0, &v_ioacmax, 0}, {"ioacmin", 0, &v_ioacmin, 0},                              \
        {"iobrmax", 0, &v_iobrmax, 0}, {"iobrmin", 0, &v_iobrmin, 0},                              \
        {"iostmax", 0, &v_iostmax, 0}, {"iostmin", 0, &v_iostmin, 0},                              \
        {"ioabcflag", 0, &v_ioabcflag, 0}, {"iostcflag", 0, &v_iostcflag, 0},                      \
        {"coinfree", 0, &v_coinfree, 1}, {"coincpc", 0, &v_coincpc, 1},                            \
        {"coinstart", 0, COINSTART, 1}, {"coinconti", 0, &v_coinconti, 1},                         \
        {"networkid", 0, &v_networkid, 0}, {"al0", 0, &v_al, 0}, {"al1", 0, &v_al, 0},             \
        {"al2", 0, &v_al, 0}, {"al3", 0, &v_al, 0}, {"godiff", 0, &v_godiff, 1},                   \
        {"dfdec", 0, &v_dfdec, 1}, {"gocontt", 0, &v_gocontt, 1}, {"gosst", 0, &v_gocontt, 1},     \
        {"goss", 0, &v_goss, 1}, {"goett", 0, &v_goett, 1}, {"gopet", 0, &v_gopet, 1},             \
        {"godemo", 0, &v_goss, 1}, {"goslot", 0, &v_goslot, 1}, {"life", 0, &v_life, 1},           \
        {"gospd", 0, GOSPD, 1}, {"golng", 0, GOLNG, 1}, {"gomcgunnr", 0, &v_gomcgunnr, 1},         \
        {"bslf1", 0, &v_bslf1, 1}, {"bslf2", 0, &v_bslf2, 1}, {"bslf3", 0, &v_bslf1, 1},           \
        {"bslf4", 0, &v_bslf1, 1}, {"bslf5", 0, &v_bslf1, 1}, {"bslf6", 0, &v_bslf1, 1},           \
        {"mgstk", 0, &v_shared_zero, 1}, {"bcmin", 0, &v_gomcgunnr, 1},                            \
        {"bcmax", 0, &v_gomcgunnr, 1}, {"scnst", 0, &v_shared_zero, 1},                            \
        {"gunf", 0, &v_shared_zero, 0}, {"c1f", 0, &v_shared_zero, 0},                             \
        {"c2f", 0, &v_shared_zero, 0}, {"c11x", 0, &v_shared_zero, 0},                             \
        {"c11y", 0, &v_shared_zero, 0}, {"c12x", 0, &v_shared_zero, 0},                            \
        {"c12y", 0, &v_shared_zero, 0}, {"c13x", 0, &v_shared_zero, 0},                            \
        {"c13y", 0, &v_shared_zero, 0}, {"c14x", 0, &v_shared_zero, 0},                            \
        {"c14y", 0, &v_shared_zero, 0}, {"c15x", 0, &v_shared_zero, 0},                            \
        {"c15y", 0, &v_shared_zero, 0}, {"c21x", 0, &v_shared_zero, 0},                            \
        {"c21y", 0, &v_shared_zero, 0}, {"c22x", 0, &v_shared_zero, 0},                            \
        {"c22y", 0, &v_shared_zero, 0}, {"c23x", 0, &v_shared_zero, 0},                            \
        {"c23y", 0, &v_shared_zero, 0}, {"c24x", 0, &v_shared_zero, 0},                            \
        {"c24y", 0, &v_shared_zero, 0}, {"c25x", 0, &v_shared_zero, 0},                            \
    {                                                                                              \
        "c25y", 0, &v_shared_zero, 0                                                               \
    }

SettingRow g_rows[] = {SETTING_ROWS(&v_coinstart, &v_shared_zero, &v_shared_zero)};
SettingRow g_rows_alt[] = {SETTING_ROWS(&v_alt_coinstart, &v_alt_gospd, &v_alt_golng)};
#undef SETTING_ROWS

static_assert(sizeof g_rows / sizeof g_rows[0] == SETTINGS_ROW_COUNT);
static_assert(sizeof g_rows_alt / sizeof g_rows_alt[0] == SETTINGS_ROW_COUNT);

// One descriptor per region; all use the same table.
const SettingTableDesc SETTINGS_REGION_TABLES[4] = {{SETTINGS_ROW_COUNT, g_rows},
                                                    {SETTINGS_ROW_COUNT, g_rows},
                                                    {SETTINGS_ROW_COUNT, g_rows},
                                                    {SETTINGS_ROW_COUNT, g_rows}};

const SettingTableDesc& table_for_region(uint32_t region)
{
    return SETTINGS_REGION_TABLES[region < 4 ? region : 0];
}

}  // namespace

// ---------------------------------------------------------------------------
// Load and save

int settings_load(const char* stem, const SettingRow* rows, uint32_t row_count)
{
    if (!stem || std::strlen(stem) > SETTINGS_MAX_NAME) return 0;
    for (size_t k = 0; k < 2; ++k) {
        g_store.cfg_names[k] = std::string(stem) + char('0' + k) + ".CFG";
        g_store.crc_names[k] = std::string(stem) + char('0' + k) + ".CRC";
    }
    for (size_t k = 0; k < 2; ++k)
        if (load_copy(k)) break;
    for (uint32_t k = 0; rows && k < row_count; ++k) {
        if (!rows[k].name) continue;
        if (!find_node(rows[k].name)) set_current_from_row(rows[k]);
        set_default_from_row(rows[k]);
    }
    settings_save();
    return 1;
}

void settings_save()
{
    for (size_t k = 0; k < 2; ++k) {
        const std::string& cfg = g_store.cfg_names[k];
        if (cfg.empty()) continue;
        write_cfg(cfg.c_str());
        settings_flush_file(cfg.c_str());
        settings_write_crc(cfg.c_str(), g_store.crc_names[k].c_str());
    }
}

void settings_free() { g_store = SettingsStore{}; }

void settings_apply_all(const SettingRow* rows, uint32_t row_count)
{
    apply_rows(rows, row_count, false);
}

void settings_apply_flagged(const SettingRow* rows, uint32_t row_count)
{
    apply_rows(rows, row_count, true);
}

// ---------------------------------------------------------------------------
// Values

int settings_set_int(const char* name, int32_t v) { return set_value(name, false, int_value(v)); }
int settings_set_float(const char* name, float v) { return set_value(name, false, float_value(v)); }
int settings_set_string(const char* name, const char* v)
{
    return set_value(name, false, string_value(v));
}
int settings_set_int_default(const char* name, int32_t v)
{
    return set_value(name, true, int_value(v));
}
int settings_set_float_default(const char* name, float v)
{
    return set_value(name, true, float_value(v));
}
int settings_set_string_default(const char* name, const char* v)
{
    return set_value(name, true, string_value(v));
}

int settings_get_int(const char* name, int32_t* out)
{
    const SettingNode* n = find_typed(name, SETTINGS_INT);
    if (!n) return 0;
    if (out) *out = n->current.i;
    return 1;
}

int32_t settings_get_int_or(const char* name, int32_t fallback)
{
    int32_t v = fallback;
    settings_get_int(name, &v);
    return v;
}

int settings_get_float(const char* name, float* out)
{
    const SettingNode* n = find_typed(name, SETTINGS_FLOAT);
    if (!n) return 0;
    if (out) *out = n->current.f;
    return 1;
}

const char* settings_get_string(const char* name)
{
    const SettingNode* n = find_typed(name, SETTINGS_STRING);
    return n ? n->current.s.c_str() : nullptr;
}

int32_t settings_get_int_default(const char* name)
{
    const SettingNode* n = find_typed(name, SETTINGS_INT);
    return (n && n->fallback.present) ? n->fallback.i : 0;
}

int32_t settings_reset_int(const char* name)
{
    if (!name) return 0;
    SettingNode* n = find_node(name);
    if (!n || n->type != SETTINGS_INT || !n->current.present || !n->fallback.present) return 0;
    n->current.i = n->fallback.i;
    return n->current.i;
}

SettingRow* settings_rows_for_region(uint32_t region) { return table_for_region(region).rows; }

uint32_t settings_row_count_for_region(uint32_t region)
{
    return table_for_region(region).row_count;
}

SettingRow* settings_rows_alt() { return g_rows_alt; }

// ---------------------------------------------------------------------------
// File helpers and checksums

long settings_file_size(const char* name)
{
    PlatDataFile f;
    return name && plat_data_file_open(name, PLAT_DATA_FILE_MAX, &f, nullptr) ? long(f.size) : 0;
}

void settings_flush_file(const char* name) { plat_flush_file(name); }

uint32_t settings_file_crc(const char* name)
{
    uint32_t crc = 0;
    return file_crc(name, &crc) ? crc : 0;
}

int settings_write_crc(const char* cfg_name, const char* crc_name)
{
    uint32_t crc = 0;
    if (!crc_name || !file_crc(cfg_name, &crc)) return 0;
    uint8_t le[4];
    plat_le_put32(le, crc);
    // Written through and synced, as the flush would do.
    return plat_write_file(crc_name, le, nullptr);
}

uint32_t crc32_table(const uint8_t* bytes, size_t length)
{
    return ~crc32_update(0xFFFFFFFFu, bytes, length);
}

uint32_t crc32_bitwise(const uint8_t* bytes, size_t length)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t k = 0; bytes && k < length; ++k) {
        c ^= bytes[k];
        for (int b = 0; b < 8; ++b)
            c = (c & 1) ? SETTINGS_CRC_BITWISE_POLYNOMIAL ^ (c >> 1) : c >> 1;
    }
    return ~c;
}
