// qv_seeds <chunk-folder> <texlst-folder>: writes the fuzz seed files, the
// writer's chunk samples and a few tex.lst texts.
#include "tools/qv_samples.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: qv_seeds <chunk-folder> <texlst-folder>\n");
        return 2;
    }
    qvw::DataSet chunks, lists;
    for (const auto& s : qvw::sample_chunk_seeds()) chunks.files["seed_" + s.name] = s.bytes;
    std::string t = qvw::sample_texlst();
    lists.files["seed_sample"] = qvw::Bytes(t.begin(), t.end());
    std::string bad =
        "cat a\ntex x.png\ncrop 0 0 1 1 early\nsize 0 4\n#c\r\nsize 8 8 crop 1 2 3 4 c\n";
    lists.files["seed_refusals"] = qvw::Bytes(bad.begin(), bad.end());
    std::string why;
    if (!qvw::dataset_write(chunks, argv[1], &why) || !qvw::dataset_write(lists, argv[2], &why)) {
        std::fprintf(stderr, "qv_seeds: %s\n", why.c_str());
        return 1;
    }
    return 0;
}
