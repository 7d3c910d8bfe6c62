// Fuzzes the shader file reader with its includes, and the stage assembly
// and parameter packing on what it read. The input up to its first NUL byte
// is the shader file; the rest becomes the include file "a.inc" beside it.
// "fan.inc", which includes itself three times, is always there.
#include "disp/shader_file.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string& folder()
{
    static const std::string dir = [] {
        const auto d = std::filesystem::temp_directory_path() /
                       ("quorvel-fuzz-shader-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        std::ofstream(d / "fan.inc") << "fan\n#include fan.inc\n#include \"fan.inc\"\n"
                                        "#include fan.inc\n";
        return d.string() + "/";
    }();
    return dir;
}

void check_section(const ShaderSection& s)
{
    if (s.code.size() > SHADER_SECTION_TEXT_MAX || s.includes > SHADER_INCLUDE_MAX + 1)
        __builtin_trap();
    for (const ShaderDecl& d : s.decls)
        if (d.count < 1 || d.count > SHADER_COUNT_MAX || d.name.empty() ||
            d.name.size() > size_t(SHADER_NAME_MAX) || !shader_reg_type_size(d.type))
            __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const size_t cut = all.find('\0');
    const std::string_view text = all.substr(0, cut);
    {
        std::ofstream inc(folder() + "a.inc", std::ios::binary);
        if (cut != std::string_view::npos) inc << all.substr(cut + 1);
    }
    ShaderFileText f;
    shader_file_parse(folder(), text, &f);
    for (const ShaderSection& s : f.section) check_section(s);
    for (int kind = SHADER_SECTION_VERTEX; kind < SHADER_SECTION_KINDS; ++kind) {
        const std::string src = shader_file_assemble(f, kind, "#define NR_POINT_LIGHT  1");
        if (!f.section[kind].present && !src.empty()) __builtin_trap();
        shader_file_within_budget(f, kind, src.size());
    }
    std::vector<ShaderParam> params;
    shader_file_params(f, &params);
    for (const ShaderParam& p : params)
        if (p.offset < 0 || p.offset + shader_reg_type_size(p.type) * p.count > SHADER_PARAM_BLOCK)
            __builtin_trap();
    return 0;
}
