// qv_datagen: builds a data folder from a description.
//   qv_datagen <description> <out-folder>     model group files and tex.lst
//   qv_datagen --seeds <chunk-folder> <texlst-folder>   fuzz seed files
#include "tools/qv_desc.h"
#include "tools/qv_samples.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

static int write_seeds(const std::string& chunk_dir, const std::string& texlst_dir) {
    qvw::DataSet chunks, lists;
    for (const auto& s : qvw::sample_chunk_seeds()) chunks.files["seed_" + s.name] = s.bytes;
    std::string t = qvw::sample_texlst();
    lists.files["seed_sample"] = qvw::Bytes(t.begin(), t.end());
    std::string bad = "cat a\ntex x.png\ncrop 0 0 1 1 early\nsize 0 4\n#c\r\nsize 8 8 crop 1 2 3 4 c\n";
    lists.files["seed_refusals"] = qvw::Bytes(bad.begin(), bad.end());
    std::string why;
    if (!qvw::dataset_write(chunks, chunk_dir, &why) || !qvw::dataset_write(lists, texlst_dir, &why)) {
        std::fprintf(stderr, "qv_datagen: %s\n", why.c_str());
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--seeds") return write_seeds(argv[2], argv[3]);
    if (argc != 3) {
        std::fprintf(stderr, "usage: qv_datagen <description> <out-folder>\n       qv_datagen --seeds <chunk-folder> <texlst-folder>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "qv_datagen: cannot read %s\n", argv[1]);
        return 1;
    }
    std::string text(std::istreambuf_iterator<char>(in), {});
    qvw::DataSet set;
    std::string why;
    std::string base = std::filesystem::path(argv[1]).parent_path().string();
    if (!qvw::desc_build(text, base, set, &why) || !qvw::dataset_write(set, argv[2], &why)) {
        std::fprintf(stderr, "qv_datagen: %s: %s\n", argv[1], why.c_str());
        return 1;
    }
    return 0;
}
