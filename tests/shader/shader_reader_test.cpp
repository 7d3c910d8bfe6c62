// The shader file reader on fixture files and on hostile text; no device is needed.
#include <fstream>
#include <random>
#include <tuple>

#include "disp/shader_file.h"
#include "shader_fixture.h"
#include "test_files.h"

namespace {

ShaderFileText read_fixture(const char* name)
{
    ShaderFileText t;
    EXPECT_EQ(shader_file_read(fixture_dir(), name, &t), 1) << name;
    return t;
}

}  // namespace

TEST(ShaderReader, SelfAndMutualIncludesStopAtTheDepthLimitAndLongLinesStayWhole)
{
    for (const char* name : {"self.inc", "loop_a.inc"}) {
        ShaderFileText t;
        shader_file_parse(fixture_dir(),
                          std::string("@common\n@source\n#include ") + name + "\n@source_end\n",
                          &t);
        const std::string& code = t.section[SHADER_SECTION_COMMON].code;
        EXPECT_EQ(test_count_of(code, "self line") + test_count_of(code, "loop_"),
                  int(SHADER_INCLUDE_DEPTH))
            << name;
    }
    // Long lines arrive in pieces and stay whole.
    const std::string longline(3000, 'x');
    ShaderFileText t;
    shader_file_parse("", "@common\n@source\n" + longline + "\n@source_end\n", &t);
    EXPECT_EQ(t.section[SHADER_SECTION_COMMON].code, "\n" + longline + "\n");
}

TEST(ShaderReader, PixelOnlyFileMissingFileAndKeywordsWithoutASectionAndABlockOpenAtTheEnd)
{
    ShaderFileText t = read_fixture("pixel_only.txt");
    EXPECT_EQ(shader_file_assemble(t, SHADER_SECTION_VERTEX, "#define X 1"), "");
    EXPECT_EQ(shader_file_read(fixture_dir(), "no_such_file.txt", &t), 0);
    EXPECT_EQ(shader_file_read(fixture_dir() + "no_such_folder/", "full.txt", &t), 0);
    t = read_fixture("unterminated.txt");
    EXPECT_EQ(t.section[SHADER_SECTION_VERTEX].code, "");
}

TEST(ShaderReader, IncludesQuotedUnquotedNestedAndMissingAndCrLfFilesReadLikeLf)
{
    TempDir tmp;
    for (const char* name : {"full.txt", "inc_a.inc", "inc_b.inc", "inc_c.inc"}) {
        const std::string lf = test_file_text(fixture_dir() + name);
        std::string crlf;
        for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        // Behind the end-of-file byte nothing is read.
        tmp.write(name, crlf + "\x1A@vertexshader @function_name AfterTheEnd\n");
    }
    ShaderFileText a = read_fixture("full.txt"), b;
    EXPECT_EQ(a.section[SHADER_SECTION_COMMON].code,
              "\n"
              "inc_a line 1\ninc_b line\n\ninc_a line 3\n\n"  // nested, each file ends with a break
              "inc_c line\n\n"                                // unquoted
              "inc_c line\n\n"                                // "# include"
              "#define COMMON_DEFINE 1\n");                   // the missing one adds nothing
    ASSERT_EQ(shader_file_read(tmp.file(""), "full.txt", &b), 1);
    const auto read = [](const ShaderSection& s) {
        return std::tuple(s.regs, s.code, s.entry, s.decls.size());
    };
    for (int k = 0; k < SHADER_SECTION_KINDS; ++k)
        EXPECT_EQ(read(b.section[k]), read(a.section[k])) << k;
}

TEST(ShaderReader, RegisterDeclarations)
{
    // Line, then the name, type, count and engine constant read from it.
    for (auto [line, name, type, count, const_id] :
         {std::tuple{"float4 vPLPos[4];", "vPLPos", 8, 4, int(SHADER_CONST_PLPOS)},
          {"float4 vPLColor[NR_POINT_LIGHT];", "vPLColor", 8, 1, SHADER_CONST_PLCOLOR},
          {"float4 vSpaced [4];", "vSpaced", 8, 1, SHADER_CONST_NONE},
          {"float4x3 mMPAL[128];", "mMPAL", 10, 128, SHADER_CONST_MPAL},
          {"\tfloat   fRate ;", "fRate", 5, 1, SHADER_CONST_RATE},
          {"sampler sTex : register(s2);", "sTex", 12, 1, SHADER_CONST_NONE},
          {"int2 iPair[1];", "iPair", 2, 1, SHADER_CONST_NONE},
          {"float4 vmPVM;", "vmPVM", 8, 1, SHADER_CONST_NONE}}) {  // exact names only
        ShaderDecl d;
        ASSERT_EQ(shader_decl_parse(line, &d), 1) << line;
        EXPECT_EQ(std::tuple(d.name, d.type, d.count, d.const_id),
                  std::tuple(std::string(name), type, count, const_id))
            << line;
    }
    ShaderDecl d;
    for (const char* bad : {"Float4 vCapital;", "half4 vUnknown;", "float4", "float4 [4];",
                            "float4 ;", "", "float4 vHuge[99999999999999999999];"})
        EXPECT_EQ(shader_decl_parse(bad, &d), 0) << bad;
    EXPECT_EQ(shader_decl_parse("float4 " + std::string(SHADER_NAME_MAX + 1, 'n') + ";", &d), 0);
    EXPECT_EQ(shader_decl_parse("float4 " + std::string(SHADER_NAME_MAX, 'n') + ";", &d), 1);
}

TEST(ShaderReader, StageSourceAssemblyAndParametersPackedInSectionOrderFirstNameOnly)
{
    ShaderFileText t = read_fixture("full.txt");
    const ShaderSection& c = t.section[SHADER_SECTION_COMMON];
    const ShaderSection& v = t.section[SHADER_SECTION_VERTEX];
    EXPECT_EQ(shader_file_assemble(t, SHADER_SECTION_VERTEX, "#define NR_POINT_LIGHT  2"),
              "#define NR_POINT_LIGHT  2\n" + c.regs + c.code + v.regs + v.code);
    EXPECT_EQ(shader_file_assemble(t, SHADER_SECTION_COMMON, nullptr), "");
    std::vector<ShaderParam> p;
    shader_file_params(t, &p);
    std::vector<std::pair<std::string, int>> packed;
    for (const ShaderParam& q : p) packed.emplace_back(q.name, q.offset);
    EXPECT_EQ(packed, (std::vector<std::pair<std::string, int>>{{"vTint", 0},
                                                                {"vSpaced", 16},
                                                                {"vShared", 32},
                                                                {"vUv", 44},
                                                                {"sNormal", 68},
                                                                {"iFlags", 72}}));
}

TEST(ShaderReader, TruncatedAndRandomTextNeverBreaksTheReader)
{
    const std::string full = test_file_text(fixture_dir() + "full.txt");
    ShaderFileText t;
    for (size_t n = 0; n <= full.size(); ++n)
        shader_file_parse(fixture_dir(), full.substr(0, n), &t);
    std::mt19937 rng(7);
    const char alphabet[] =
        "@#/ \t\n\r\x1A\0[]0123456789;float4sourceregister_endcommonpixelshaderinclude\"";
    for (int round = 0; round < 300; ++round) {
        std::string s(size_t(rng() % 600), ' ');
        for (char& ch : s)
            ch = (rng() % 4 == 0) ? char(rng()) : alphabet[rng() % (sizeof alphabet - 1)];
        shader_file_parse(fixture_dir(), s, &t);
        std::vector<ShaderParam> p;
        shader_file_params(t, &p);
        for (const ShaderParam& q : p)
            EXPECT_LE(q.offset + shader_reg_type_size(q.type) * q.count, SHADER_PARAM_BLOCK);
    }
}
