// The parser of the texture list "tex.lst" and its queries by category (grammar in texlst_local.h).
#include "res/texlst_local.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_line_end(char c) { return c == '\n' || c == '\r' || c == 0 || c == 0x1A; }

struct Lexer {
    std::string_view s;
    size_t pos = 0;
    uint32_t line = 1;

    // The next token; empty at the end. NUL and 0x1A end the text.
    std::string_view next()
    {
        while (pos < s.size() && is_space(s[pos])) count(s[pos++]);
        size_t start = pos;
        while (pos < s.size() && !is_space(s[pos]) && s[pos] != 0 && s[pos] != 0x1A) pos++;
        if (start == pos && pos < s.size()) pos = s.size();  // NUL or 0x1A
        return s.substr(start, pos - start);
    }
    // Skips to and past the end of the current line (a NUL or 0x1A stays:
    // it ends the text).
    void skip_line()
    {
        while (pos < s.size() && !is_line_end(s[pos])) pos++;
        if (pos < s.size() && (s[pos] == '\n' || s[pos] == '\r')) count(s[pos++]);
    }
    void count(char c)
    {
        // "\r\n" counts once: the line feed does the counting.
        if (c == '\n' || (c == '\r' && (pos >= s.size() || s[pos] != '\n'))) line++;
    }
};

bool to_int(std::string_view t, int& v)
{
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

bool to_float(std::string_view t, float& v)
{
    // from_chars does not take a leading '+', which "%f" does.
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    return r.ec == std::errc() && r.ptr == t.data() + t.size() && std::isfinite(v);
}

struct Parser {
    Lexer lx;
    TexList& out;
    int cur_w = 0, cur_h = 0;  // size of the current texture (0: none given)
    bool have_tex = false;

    // Refuses the statement whose keyword stood on `line`: the rest of the
    // line the parser stands on is skipped.
    void refuse(uint32_t line, bool at_line_end)
    {
        out.refused_lines.push_back(line);
        if (!at_line_end) lx.skip_line();
    }

    // Reads an argument on the keyword's line; empty when the line ended.
    std::string_view arg(uint32_t line)
    {
        size_t save = lx.pos;
        uint32_t save_line = lx.line;
        std::string_view t = lx.next();
        if (lx.line != line || t.empty() || t[0] == '#') {
            lx.pos = save;
            lx.line = save_line;
            return {};
        }
        return t;
    }

    void statement(std::string_view kw, uint32_t line)
    {
        if (kw == "cat") {
            std::string_view name = arg(line);
            if (name.empty() || name.size() > TEXLST_CAT_NAME_MAX)
                return refuse(line, name.empty());
            out.cats.push_back({std::string(name), {}, {}});
            have_tex = false;
            cur_w = cur_h = 0;
        } else if (kw == "tex") {
            std::string_view name = arg(line);
            if (name.empty() || name.size() > TEXLST_NAME_MAX || out.cats.empty())
                return refuse(line, name.empty());
            out.cats.back().textures.push_back({std::string(name)});
            have_tex = true;
            cur_w = cur_h = 0;
        } else if (kw == "size") {
            int w, h;
            std::string_view a = arg(line), b = a.empty() ? a : arg(line);
            if (b.empty()) return refuse(line, true);
            if (!to_int(a, w) || !to_int(b, h) || w <= 0 || h <= 0 || !have_tex)
                return refuse(line, false);
            cur_w = w;
            cur_h = h;
        } else if (kw == "crop") {
            float v[4];
            std::string_view t;
            for (int i = 0; i < 4; i++) {
                t = arg(line);
                if (t.empty()) return refuse(line, true);
                if (!to_float(t, v[i])) return refuse(line, false);
            }
            std::string_view name = arg(line);
            if (name.empty()) return refuse(line, true);
            if (name.size() > TEXLST_NAME_MAX || !have_tex || cur_w <= 0 || cur_h <= 0)
                return refuse(line, false);
            TexLstCat& c = out.cats.back();
            c.crops.push_back({std::string(name),
                               uint32_t(c.textures.size() - 1),
                               {v[0] / float(cur_w), v[1] / float(cur_h), v[2] / float(cur_w),
                                v[3] / float(cur_h)}});
        }
        // Any other token is ignored.
    }

    void run()
    {
        for (;;) {
            std::string_view t = lx.next();
            if (t.empty()) return;
            uint32_t line = lx.line;
            if (t[0] == '#') {
                lx.skip_line();
                continue;
            }
            statement(t, line);
        }
    }
};

const TexLstCat* cat_at(const TexList& t, uint32_t i)
{
    return i < t.cats.size() ? &t.cats[i] : nullptr;
}

}  // namespace

void texlst_parse(std::string_view text, TexList& out)
{
    texlst_clear(out);
    Parser p{Lexer{text}, out};
    p.run();
}

void texlst_clear(TexList& t)
{
    t.cats.clear();
    t.refused_lines.clear();
}

uint32_t texlst_cat_count(const TexList& t) { return uint32_t(t.cats.size()); }

const char* texlst_cat_name(const TexList& t, uint32_t cat)
{
    const TexLstCat* c = cat_at(t, cat);
    return c ? c->name.c_str() : nullptr;
}

uint32_t texlst_tex_count(const TexList& t, uint32_t cat)
{
    const TexLstCat* c = cat_at(t, cat);
    return c ? uint32_t(c->textures.size()) : 0;
}

const char* texlst_tex_name(const TexList& t, uint32_t cat, uint32_t j)
{
    const TexLstCat* c = cat_at(t, cat);
    return c && j < c->textures.size() ? c->textures[j].name.c_str() : nullptr;
}

uint32_t texlst_crop_count(const TexList& t, uint32_t cat)
{
    const TexLstCat* c = cat_at(t, cat);
    return c ? uint32_t(c->crops.size()) : 0;
}

const TexLstCrop* texlst_crop(const TexList& t, uint32_t cat, uint32_t j)
{
    const TexLstCat* c = cat_at(t, cat);
    return c && j < c->crops.size() ? &c->crops[j] : nullptr;
}

const char* texlst_crop_name(const TexList& t, uint32_t cat, uint32_t j)
{
    const TexLstCrop* c = texlst_crop(t, cat, j);
    return c ? c->name.c_str() : nullptr;
}

const char* texlst_crop_tex_name(const TexList& t, uint32_t cat, uint32_t j)
{
    const TexLstCrop* c = texlst_crop(t, cat, j);
    return c ? texlst_tex_name(t, cat, c->tex) : nullptr;
}

int texlst_find(const TexList& t, const char* name)
{
    if (!name) return -1;
    for (size_t i = 0; i < t.cats.size(); i++)
        if (t.cats[i].name == name) return int(i);
    return -1;
}
