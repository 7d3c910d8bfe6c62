// texlst_local: the texture list "tex.lst", private to the resource folder:
// named categories of texture files and of crops (named rectangles) on them,
// parsed once into a tree that the loader (resload.cpp) keeps.
//
// Grammar: whitespace-separated tokens; a token starting with '#' begins a
// comment that runs to the end of its line; "cat" <name>, "tex" <file>,
// "size" <w> <h>, "crop" <x> <y> <w> <h> <name>; other tokens are ignored.
// A statement that does not parse (a missing or bad number, a size of zero or
// below, a "tex" before any "cat", a "crop" before a "tex" with a size, a name
// too long) is refused: the rest of its line is skipped and the line counted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr uint32_t TEXLST_CAT_NAME_MAX = 63;  // a load request's name limit
constexpr uint32_t TEXLST_NAME_MAX = 259;     // texture files and crop names

struct TexLstCrop {
    std::string name;
    uint32_t tex;   // index of its texture in the category
    float frac[4];  // x / w, y / h, w / w, h / h of the size at that moment
};

struct TexLstTex {
    std::string name;  // relative to the texture folder, extension included
};

struct TexLstCat {
    std::string name;
    std::vector<TexLstTex> textures;
    std::vector<TexLstCrop> crops;
};

struct TexList {
    std::vector<TexLstCat> cats;
    std::vector<uint32_t> refused_lines;  // 1-based line numbers
};

void texlst_parse(std::string_view text, TexList& out);
void texlst_clear(TexList& t);

// Queries by category index (file order); 0 or null out of range.
uint32_t texlst_cat_count(const TexList& t);
const char* texlst_cat_name(const TexList& t, uint32_t cat);
uint32_t texlst_tex_count(const TexList& t, uint32_t cat);
const char* texlst_tex_name(const TexList& t, uint32_t cat, uint32_t j);
uint32_t texlst_crop_count(const TexList& t, uint32_t cat);
const char* texlst_crop_name(const TexList& t, uint32_t cat, uint32_t j);
const TexLstCrop* texlst_crop(const TexList& t, uint32_t cat, uint32_t j);
// The texture name a crop was declared under.
const char* texlst_crop_tex_name(const TexList& t, uint32_t cat, uint32_t j);
// Index of the category of exactly that name, -1 when absent.
int texlst_find(const TexList& t, const char* name);
