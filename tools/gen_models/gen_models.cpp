// gen_models: writes the patch models' descriptions, their textures and the
// icon atlas into a folder (the committed copy lives in data/models).
//   gen_models <out-folder>
#include "tools/gen_models/gm_output.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen_models <out-folder>\n");
        return 2;
    }
    std::string why;
    if (!gm::output_write(gm::output_build(), argv[1], &why)) {
        std::fprintf(stderr, "gen_models: %s\n", why.c_str());
        return 1;
    }
    return 0;
}
