// qv_datagen: builds a data folder from descriptions.
//   qv_datagen <description>... <out-folder>   model group files and one tex.lst
//                                              with the categories of them all
//   qv_datagen --seeds <chunk-folder> <texlst-folder>   fuzz seed files
#include "tools/qv_desc.h"
#include "tools/qv_samples.h"

#include <cstdio>
#include <string>
#include <vector>

static int write_seeds(const std::string& chunk_dir, const std::string& texlst_dir)
{
    qvw::DataSet chunks, lists;
    for (const auto& s : qvw::sample_chunk_seeds()) chunks.files["seed_" + s.name] = s.bytes;
    std::string t = qvw::sample_texlst();
    lists.files["seed_sample"] = qvw::Bytes(t.begin(), t.end());
    std::string bad =
        "cat a\ntex x.png\ncrop 0 0 1 1 early\nsize 0 4\n#c\r\nsize 8 8 crop 1 2 3 4 c\n";
    lists.files["seed_refusals"] = qvw::Bytes(bad.begin(), bad.end());
    std::string why;
    if (!qvw::dataset_write(chunks, chunk_dir, &why) ||
        !qvw::dataset_write(lists, texlst_dir, &why)) {
        std::fprintf(stderr, "qv_datagen: %s\n", why.c_str());
        return 1;
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--seeds") return write_seeds(argv[2], argv[3]);
    if (argc < 3) {
        std::fprintf(stderr, "usage: qv_datagen <description>... <out-folder>\n       qv_datagen "
                             "--seeds <chunk-folder> <texlst-folder>\n");
        return 2;
    }
    // Every description is built before anything is written, so a bad one
    // leaves the folder as it was.
    std::vector<std::string> descs(argv + 1, argv + argc - 1);
    qvw::DataSet set;
    std::string why;
    if (!qvw::desc_build_files(descs, set, &why) ||
        !qvw::dataset_write(set, argv[argc - 1], &why)) {
        std::fprintf(stderr, "qv_datagen: %s\n", why.c_str());
        return 1;
    }
    return 0;
}
