// quorvel_gen: makes the built-in images at build time.
//   quorvel_gen font1|font6x11|f1632 LATIN_FACE KANA_FACE OUT
//   quorvel_gen background OUT
//   quorvel_gen embed IN FUNCTION OUT   (C++ source whose FUNCTION returns IN's bytes)
//   quorvel_gen bgm01 OUT               (the data set's sound file)

#include "tools/gen/background_image.h"
#include "tools/gen/font_image.h"
#include "tools/gen/image_file.h"
#include "tools/gen/wave_file.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace {

std::vector<unsigned char> read_file(const char* path, int& ok)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes;
    if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ok = in && !in.bad();
    return bytes;
}

std::string embed_source(const std::vector<unsigned char>& bytes, const std::string& function)
{
    std::string out;
    out.reserve(bytes.size() * 4 + 512);
    out += "// Made by quorvel_gen embed; do not edit.\n";
    out += "#include \"plat/embedded.h\"\n\nnamespace {\nalignas(16) const unsigned char "
           "bytes[] = {";
    char number[8];
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 24 == 0) out += "\n";
        std::snprintf(number, sizeof number, "%u,", unsigned(bytes[i]));
        out += number;
    }
    out += "\n};\n}\n\nstd::span<const unsigned char> " + function +
           "()\n{\n    return {bytes, sizeof bytes};\n}\n";
    return out;
}

int write_or_complain(const char* path, const std::vector<unsigned char>& bytes)
{
    if (bytes.empty() || !image_write_file(path, bytes)) {
        std::fprintf(stderr, "quorvel_gen: could not make %s\n", path);
        return 1;
    }
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: quorvel_gen font1|font6x11|f1632 LATIN_FACE KANA_FACE OUT\n"
                         "       quorvel_gen background OUT\n"
                         "       quorvel_gen embed IN FUNCTION OUT\n"
                         "       quorvel_gen bgm01 OUT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return usage();
    const std::string_view what = argv[1];
    if ((what == "font1" || what == "font6x11" || what == "f1632") && argc == 5) {
        const FontSources sources{argv[2], argv[3]};
        if (what == "font1") return write_or_complain(argv[4], font_image_font1_dds(sources));
        if (what == "font6x11") return write_or_complain(argv[4], font_image_font6x11_png(sources));
        return write_or_complain(argv[4], font_image_f1632_png(sources));
    }
    if (what == "background" && argc == 3)
        return write_or_complain(argv[2], background_image_png());
    if (what == "bgm01" && argc == 3) {
        const std::vector<uint8_t> wave = wave_bgm01();
        return write_or_complain(argv[2], {wave.begin(), wave.end()});
    }
    if (what == "embed" && argc == 5) {
        int ok = 0;
        const std::vector<unsigned char> bytes = read_file(argv[2], ok);
        if (!ok || bytes.empty()) {
            std::fprintf(stderr, "quorvel_gen: could not read %s\n", argv[2]);
            return 1;
        }
        const std::string source = embed_source(bytes, argv[3]);
        return write_or_complain(argv[4], {source.begin(), source.end()});
    }
    return usage();
}
