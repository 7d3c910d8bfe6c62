// qv_datagen: builds a data folder from descriptions.
//   qv_datagen <description>... <out-folder>   model group files and one tex.lst
//                                              with the categories of them all
#include "tools/qv_desc.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: qv_datagen <description>... <out-folder>\n");
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
