// The generated sources of the patch data set: one description per model
// group ("<group>.qvd", read by qv_datagen), the PNG images they embed, and
// "icons.qvd" with the icon atlas "icon.png". All paths are relative to the
// folder the descriptions live in (data/models).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace gm {

using FileSet = std::map<std::string, std::vector<uint8_t>>;

// Builds every file in memory; the same bytes on every run.
FileSet output_build();

// Writes the set into a folder; false with a reason on failure.
bool output_write(const FileSet& files, const std::string& dir, std::string* why);

// A number as the descriptions print it: at most four decimals, no
// trailing zeros, never "-0".
std::string output_number(float v);

}  // namespace gm
