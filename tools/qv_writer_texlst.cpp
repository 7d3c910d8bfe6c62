// The texture list ("tex.lst") writer: categories, their texture files with
// sizes, and each texture's crops in texels, as text.
#include "tools/qv_writer.h"

#include <cstdio>
#include <string>
#include <vector>

namespace qvw {

static std::string num(float v)
{
    char s[64];
    std::snprintf(s, sizeof s, "%.9g", double(v));
    return s;
}

std::string texlst_text(const std::vector<TexLstCatDesc>& cats)
{
    std::string t;
    for (const auto& c : cats) {
        t += "cat " + c.name + "\n";
        for (const auto& x : c.textures) {
            t += "tex " + x.file + "\n";
            t += "size " + std::to_string(x.width) + " " + std::to_string(x.height) + "\n";
            for (const auto& cr : x.crops)
                t += "crop " + num(cr.x) + " " + num(cr.y) + " " + num(cr.w) + " " + num(cr.h) +
                     " " + cr.name + "\n";
        }
    }
    return t;
}

}  // namespace qvw
