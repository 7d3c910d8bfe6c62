// The data description read by qv_datagen: a line-based text that names model
// group files, their textures, models and crops, and the texture-list
// categories. '#' starts a comment to the end of the line.
//
//   grp <group>                            starts "<out>/grp/<group>.bin"
//   texture <name> checker <w> <h> <argb> <argb>   a TEX chunk with a made PNG
//   texture <name> file <path>             a TEX chunk embedding a file
//                                          (path relative to the description)
//   model <name> [n] [t] [c]               a ZQT chunk: normals, uvs, colours
//     v <x> <y> <z> [<nx> <ny> <nz>] [<u> <v>] [<argb>]
//     tri <a> <b> <c>
//     subset <texture|-> <first> <last>
//   end
//   crop <name> <texture> <u> <v> <w> <h>  consecutive crops form one CROP chunk
//   category <name>                        a tex.lst category (a name once
//                                          across every description of a run)
//     image <file> checker <w> <h> <argb> <argb>   "<out>/texture/<file>" + tex/size
//     image <file> file <path>             the PNG at <path> (relative to the
//                                          description) copied to
//                                          "<out>/texture/<file>"; tex + the
//                                          size from its IHDR (1 to 4096)
//     tcrop <name> <x> <y> <w> <h>         a crop of the last image, in texels
//
// Several descriptions build into one data set: their files join, and
// texture/tex.lst holds the categories of all of them in order.
#pragma once

#include "tools/qv_writer.h"

#include <map>
#include <string>
#include <vector>

namespace qvw {

struct DataSet {
    std::map<std::string, Bytes> files;  // path relative to the output folder
    std::vector<TexLstCatDesc> cats;     // every category so far (texture/tex.lst)
};

// Parses a description and adds its files and categories to the set (a file
// of the same path is replaced, tex.lst is rewritten from every category);
// false with "line N: reason" on a bad line, the set then left as it was.
bool desc_build(const std::string& text, const std::string& base_dir, DataSet& out,
                std::string* why);

// desc_build over description files in order, each relative to its own
// folder; false with "<path>: line N: reason" at the first that fails.
bool desc_build_files(const std::vector<std::string>& paths, DataSet& out, std::string* why);

// Writes every file under the folder (creating sub-folders); false on failure.
bool dataset_write(const DataSet& set, const std::string& out_dir, std::string* why);

}  // namespace qvw
