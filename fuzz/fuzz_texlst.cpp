// Fuzzes the tex.lst parser and its queries.
#include "res/texlst_local.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TexList t;
    texlst_parse(std::string_view(reinterpret_cast<const char*>(data), size), t);
    for (uint32_t c = 0; c < texlst_cat_count(t); c++) {
        const char* name = texlst_cat_name(t, c);
        if (!name || std::strlen(name) > TEXLST_CAT_NAME_MAX || texlst_find(t, name) > int(c))
            __builtin_trap();
        for (uint32_t j = 0; j < texlst_crop_count(t, c); j++) {
            const TexLstCrop* crop = texlst_crop(t, c, j);
            if (!crop || !texlst_crop_tex_name(t, c, j)) __builtin_trap();
            for (float f : crop->frac)
                if (std::isnan(f)) __builtin_trap();
        }
        for (uint32_t j = 0; j < texlst_tex_count(t, c); j++)
            if (std::strlen(texlst_tex_name(t, c, j)) > TEXLST_NAME_MAX) __builtin_trap();
    }
    return 0;
}
