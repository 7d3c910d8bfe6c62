// The shader file reader: file text, word mode, line mode with include
// expansion and register declarations, stage assembly and parameter lists.
#include "disp/shader_file.h"

#include <array>
#include <cstdio>

#include "plat/files.h"

namespace {

struct RegTypeRow {
    const char* word;
    int size;
};
const std::array<RegTypeRow, SHADER_REG_TYPE_COUNT> SHADER_REG_TYPES = {{
    {"", 0},
    {"int", 4},
    {"int2", 8},
    {"int3", 12},
    {"int4", 16},
    {"float", 4},
    {"float2", 8},
    {"float3", 12},
    {"float4", 16},
    {"float3x3", 36},
    {"float4x3", 48},
    {"float4x4", 64},
    {"sampler", 4},
}};

const std::array<const char*, SHADER_CONST_COUNT + 1> SHADER_CONST_NAMES = {
    nullptr,      "mMPAL",           "mPVM",         "mPVOld",      "mSPVM",     "mSPVMUV",
    "vEyePos",    "vLightVec",       "vAmbientSky",  "vAmbientGnd", "vAmbient",  "vDiffuse",
    "vSpecular",  "vHSUpvec",        "vSubLightVec", "vSubDiffuse", "vFogParam", "vPLPos",
    "vPLColor",   "vShadowLightPos", "vShadowColor", "fNear",       "fFar",      "fShadowNear",
    "fShadowFar", "fRate",
};

enum Keyword : int {
    SHADER_KW_NONE = 0,
    SHADER_KW_COMMON,
    SHADER_KW_VERTEX,
    SHADER_KW_SKIN_VERTEX,
    SHADER_KW_PIXEL,
    SHADER_KW_FUNCTION_NAME,
    SHADER_KW_PROFILE,
    SHADER_KW_SOURCE,
    SHADER_KW_SOURCE_END,
    SHADER_KW_REGISTER,
    SHADER_KW_REGISTER_END,
};
const std::array<const char*, 11> SHADER_KEYWORDS = {
    "",        "common", "vertexshader", "skinvertexshader", "pixelshader",  "function_name",
    "profile", "source", "source_end",   "register",         "register_end",
};

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_name_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool iequal(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

int keyword_find(std::string_view word)
{
    for (int k = 1; k < int(SHADER_KEYWORDS.size()); ++k)
        if (iequal(word, SHADER_KEYWORDS[k])) return k;
    return SHADER_KW_NONE;
}

// The first word of s from position i on (after white space); i moves
// behind it.
std::string_view next_word(std::string_view s, size_t& i)
{
    while (i < s.size() && is_space(s[i])) ++i;
    size_t b = i;
    while (i < s.size() && !is_space(s[i])) ++i;
    return s.substr(b, i - b);
}

// The file's text as text mode reads it: CR before LF dropped, 0x1A ends it.
int load_text(std::string_view path, std::string* out)
{
    std::vector<uint8_t> raw;
    if (!plat_read_data_file(path, SHADER_FILE_MAX, &raw, nullptr)) return 0;
    out->clear();
    out->reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = char(raw[i]);
        if (c == 0x1A) break;
        if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        out->push_back(c);
    }
    return 1;
}

std::string join_path(std::string_view folder, std::string_view name)
{
    std::string p(folder);
    if (!p.empty() && p.back() != '/' && p.back() != '\\') p += '/';
    p += name;
    return p;
}

// Line pieces as a 1024-byte line read gives them: up to and including the
// line break, at most 1023 characters, cut at a NUL.
struct LineReader {
    std::string_view text;
    size_t pos = 0;
    bool next(std::string_view* line)
    {
        if (pos >= text.size()) return false;
        size_t b = pos, e = pos;
        while (e < text.size() && e - b < size_t(SHADER_LINE_MAX)) {
            if (text[e++] == '\n') break;
        }
        pos = e;
        std::string_view l = text.substr(b, e - b);
        size_t nul = l.find('\0');
        *line = nul == std::string_view::npos ? l : l.substr(0, nul);
        return true;
    }
};

// "//" as the first two non-blank characters.
bool is_comment_line(std::string_view line)
{
    size_t i = 0;
    while (i < line.size() && is_blank(line[i])) ++i;
    return line.substr(i, 2) == "//";
}

struct Reader {
    std::string_view folder;
    ShaderFileText* out;
    ShaderSection scratch;  // later sections of a kind: read and dropped
    ShaderSection* cur = nullptr;

    void append_code(std::string& code, std::string_view line, int depth);
    void include(std::string& code, std::string_view name, int depth);
    void block(LineReader& lr, int end_keyword, bool is_source);
    void parse(std::string_view text);
};

// Include expansion: "#include NAME" (or "# include NAME") with the quotes
// of NAME removed reads NAME from the shader folder in place of the line.
void Reader::append_code(std::string& code, std::string_view line, int depth)
{
    // A section over budget takes nothing more: fanned-out or huge includes
    // end here instead of growing without bound.
    if (cur->over_budget) return;
    if (!line.empty() && line[0] == '#') {
        size_t i = 1;
        std::string_view w = next_word(line, i);
        if (w == "include") {
            std::string name;
            for (char c : next_word(line, i))
                if (c != '"') name += c;
            include(code, name, depth + 1);
            return;
        }
    }
    if (code.size() + line.size() > SHADER_SECTION_TEXT_MAX) {
        cur->over_budget = true;
        return;
    }
    code.append(line);
}

void Reader::include(std::string& code, std::string_view name, int depth)
{
    if (name.empty() || name.size() > size_t(SHADER_INCLUDE_NAME_MAX) ||
        depth > SHADER_INCLUDE_DEPTH)
        return;
    if (++cur->includes > SHADER_INCLUDE_MAX) {
        cur->over_budget = true;
        return;
    }
    std::string text;
    if (!load_text(join_path(folder, name), &text)) return;
    LineReader lr{text};
    std::string_view line;
    while (lr.next(&line) && !cur->over_budget) append_code(code, line, depth);
    code += '\n';
}

// Line mode up to the end keyword or the end of the file. Without a current
// section the block is read and dropped.
void Reader::block(LineReader& lr, int end_keyword, bool is_source)
{
    std::string_view line;
    while (lr.next(&line)) {
        if (!line.empty() && line[0] == '@') {
            size_t i = 1;
            if (keyword_find(next_word(line, i)) == end_keyword) return;
            continue;
        }
        if (is_comment_line(line) || !cur) continue;
        if (is_source) {
            append_code(cur->code, line, 0);
        } else {
            cur->regs.append(line);
            ShaderDecl d;
            if (shader_decl_parse(line, &d)) cur->decls.push_back(std::move(d));
        }
    }
}

void Reader::parse(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        std::string_view w = next_word(text, i);
        if (w.empty()) break;
        if (w[0] == '#') {
            while (i < text.size() && text[i] != '\n' && text[i] != '\0') ++i;
            continue;
        }
        if (w[0] != '@') continue;
        int kw = keyword_find(w.substr(1));
        switch (kw) {
        case SHADER_KW_COMMON:
        case SHADER_KW_VERTEX:
        case SHADER_KW_SKIN_VERTEX:
        case SHADER_KW_PIXEL: {
            ShaderSection& s = out->section[kw - SHADER_KW_COMMON];
            scratch = ShaderSection{};
            cur = s.present ? &scratch : &s;
            cur->present = true;
            break;
        }
        case SHADER_KW_FUNCTION_NAME:
        case SHADER_KW_PROFILE: {
            std::string_view arg = next_word(text, i);
            if (!cur || arg.size() > size_t(SHADER_NAME_MAX)) break;
            (kw == SHADER_KW_PROFILE ? cur->profile : cur->entry) = std::string(arg);
            break;
        }
        case SHADER_KW_SOURCE:
        case SHADER_KW_REGISTER: {
            // The rest of the keyword's own line is the block's first line.
            LineReader lr{text, i};
            block(lr, kw == SHADER_KW_SOURCE ? SHADER_KW_SOURCE_END : SHADER_KW_REGISTER_END,
                  kw == SHADER_KW_SOURCE);
            i = lr.pos;
            break;
        }
        default: break;
        }
    }
}

}  // namespace

int shader_file_within_budget(const ShaderFileText& f, int kind, size_t assembled_size)
{
    if (kind < 0 || kind >= SHADER_SECTION_KINDS) return 0;
    return !f.section[SHADER_SECTION_COMMON].over_budget && !f.section[kind].over_budget &&
           assembled_size <= SHADER_SECTION_TEXT_MAX;
}

int shader_reg_type_size(int type)
{
    return (type > 0 && type < SHADER_REG_TYPE_COUNT) ? SHADER_REG_TYPES[type].size : 0;
}

int shader_reg_type_find(std::string_view word)
{
    for (int t = 1; t < SHADER_REG_TYPE_COUNT; ++t)
        if (word == SHADER_REG_TYPES[t].word) return t;
    return SHADER_REG_NONE;
}

int shader_const_find(std::string_view name)
{
    for (int c = 1; c <= SHADER_CONST_COUNT; ++c)
        if (name == SHADER_CONST_NAMES[c]) return c;
    return SHADER_CONST_NONE;
}

const char* shader_const_name(int id)
{
    return (id >= 1 && id <= SHADER_CONST_COUNT) ? SHADER_CONST_NAMES[id] : nullptr;
}

int shader_decl_parse(std::string_view line, ShaderDecl* out)
{
    size_t i = 0;
    std::string_view type = next_word(line, i);
    std::string_view second = next_word(line, i);
    if (type.empty() || second.empty()) return 0;
    int t = shader_reg_type_find(type);
    if (!t) return 0;
    size_t n = 0;
    while (n < second.size() && is_name_char(second[n])) ++n;
    if (n == 0 || n > size_t(SHADER_NAME_MAX)) return 0;
    int count = 1;
    if (n < second.size() && second[n] == '[') {
        long v = 0;
        for (size_t k = n + 1; k < second.size() && second[k] >= '0' && second[k] <= '9'; ++k) {
            v = v * 10 + (second[k] - '0');
            if (v > SHADER_COUNT_MAX) return 0;  // absurd sizes declare nothing
        }
        count = v < 2 ? 1 : int(v);
    }
    out->name = std::string(second.substr(0, n));
    out->type = t;
    out->count = count;
    out->const_id = shader_const_find(out->name);
    return 1;
}

void shader_file_parse(std::string_view folder, std::string_view text, ShaderFileText* out)
{
    *out = ShaderFileText{};
    Reader r{folder, out, ShaderSection{}, nullptr};
    r.parse(text);
}

int shader_file_read(std::string_view folder, std::string_view name, ShaderFileText* out)
{
    *out = ShaderFileText{};
    std::string text;
    if (name.empty() || !load_text(join_path(folder, name), &text)) return 0;
    shader_file_parse(folder, text, out);
    return 1;
}

std::string shader_file_assemble(const ShaderFileText& f, int kind, const char* front_line)
{
    if (kind <= SHADER_SECTION_COMMON || kind >= SHADER_SECTION_KINDS || !f.section[kind].present)
        return {};
    std::string src;
    if (front_line && *front_line) {
        src = front_line;
        src += '\n';
    }
    const ShaderSection& c = f.section[SHADER_SECTION_COMMON];
    if (c.present) src += c.regs + c.code;
    src += f.section[kind].regs;
    src += f.section[kind].code;
    return src;
}

void shader_file_params(const ShaderFileText& f, std::vector<ShaderParam>* out)
{
    out->clear();
    std::vector<std::string_view> seen;
    int offset = 0;
    for (const ShaderSection& s : f.section) {
        for (const ShaderDecl& d : s.decls) {
            if (d.const_id != SHADER_CONST_NONE) continue;
            bool dup = false;
            for (std::string_view n : seen) dup = dup || n == d.name;
            if (dup) continue;
            seen.push_back(d.name);
            int size = shader_reg_type_size(d.type) * d.count;
            if (offset + size > SHADER_PARAM_BLOCK) continue;
            out->push_back({d.name, d.type, d.count, offset});
            offset += size;
        }
    }
}
