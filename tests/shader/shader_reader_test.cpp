// The shader file reader on fixture files and on hostile text: sections,
// keywords, comments, includes, register declarations, assembly and the
// caller's parameter list. No device is needed.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "disp/shader_file.h"
#include "shader_fixture.h"

namespace {

ShaderFileText read_fixture(const char* name)
{
    ShaderFileText t;
    EXPECT_EQ(shader_file_read(fixture_dir(), name, &t), 1) << name;
    return t;
}

const ShaderDecl* find_decl(const ShaderSection& s, const std::string& name)
{
    for (const ShaderDecl& d : s.decls)
        if (d.name == name) return &d;
    return nullptr;
}

size_t count_of(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
    return n;
}

}  // namespace

TEST(ShaderReader, IncludesQuotedUnquotedNestedAndMissing)
{
    ShaderFileText t = read_fixture("full.txt");
    EXPECT_EQ(t.section[SH_SEC_COMMON].code,
              "\n"
              "inc_a line 1\ninc_b line\n\ninc_a line 3\n\n"  // nested, each file ends with a break
              "inc_c line\n\n"                                // unquoted
              "inc_c line\n\n"                                // "# include"
              "#define COMMON_DEFINE 1\n");                   // the missing one adds nothing
}

TEST(ShaderReader, SelfAndMutualIncludesStopAtTheDepthLimit)
{
    for (const char* name : {"self.inc", "loop_a.inc"}) {
        ShaderFileText t;
        shader_file_parse(fixture_dir(),
                          std::string("@common\n@source\n#include ") + name + "\n@source_end\n",
                          &t);
        const std::string& code = t.section[SH_SEC_COMMON].code;
        EXPECT_EQ(count_of(code, "self line") + count_of(code, "loop_"),
                  size_t(kShaderIncludeDepth))
            << name;
    }
}

TEST(ShaderReader, PixelOnlyFileAndMissingFile)
{
    ShaderFileText t = read_fixture("pixel_only.txt");
    EXPECT_FALSE(t.section[SH_SEC_COMMON].present);
    EXPECT_FALSE(t.section[SH_SEC_VERTEX].present);
    EXPECT_TRUE(t.section[SH_SEC_PIXEL].present);
    EXPECT_EQ(shader_file_assemble(t, SH_SEC_VERTEX, "#define X 1"), "");
    EXPECT_EQ(shader_file_read(fixture_dir(), "no_such_file.txt", &t), 0);
    EXPECT_FALSE(t.section[SH_SEC_PIXEL].present);
    EXPECT_EQ(shader_file_read(fixture_dir() + "no_such_folder/", "full.txt", &t), 0);
}

TEST(ShaderReader, KeywordsWithoutASectionAndABlockOpenAtTheEnd)
{
    ShaderFileText t = read_fixture("unterminated.txt");
    EXPECT_FALSE(t.section[SH_SEC_COMMON].present);
    const ShaderSection& vs = t.section[SH_SEC_VERTEX];
    EXPECT_TRUE(vs.present);
    EXPECT_EQ(vs.entry, "");
    ASSERT_EQ(vs.decls.size(), 1u);
    EXPECT_EQ(vs.decls[0].name, "vKept");
    EXPECT_NE(vs.regs.find("this line is a register line"), std::string::npos);
    EXPECT_EQ(vs.code, "");
}

TEST(ShaderReader, CrLfFilesAndTheEndOfFileByteReadLikeLf)
{
    TempDir tmp;
    for (const char* name : {"full.txt", "inc_a.inc", "inc_b.inc", "inc_c.inc"}) {
        std::ifstream in(fixture_dir() + name, std::ios::binary);
        std::string lf(std::istreambuf_iterator<char>(in), {});
        std::string crlf;
        for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        // Behind the end-of-file byte nothing is read.
        tmp.write(name, crlf + "\x1A@vertexshader @function_name AfterTheEnd\n");
    }
    ShaderFileText a = read_fixture("full.txt"), b;
    ASSERT_EQ(shader_file_read(tmp.file(""), "full.txt", &b), 1);
    for (int k = 0; k < SH_SEC_KINDS; ++k) {
        EXPECT_EQ(b.section[k].regs, a.section[k].regs) << k;
        EXPECT_EQ(b.section[k].code, a.section[k].code) << k;
        EXPECT_EQ(b.section[k].entry, a.section[k].entry) << k;
        EXPECT_EQ(b.section[k].decls.size(), a.section[k].decls.size()) << k;
    }
}

TEST(ShaderReader, LongLinesArriveInPiecesAndStayWhole)
{
    const std::string longline(3000, 'x');
    ShaderFileText t;
    shader_file_parse("", "@common\n@source\n" + longline + "\n@source_end\n", &t);
    EXPECT_EQ(t.section[SH_SEC_COMMON].code, "\n" + longline + "\n");
    // A piece that begins with "@" is a keyword line of its own.
    const std::string cut(kShaderLineMax, 'y');
    shader_file_parse("", "@common\n@source\n" + cut + "@source_end\nafter\n@source_end\n", &t);
    EXPECT_EQ(t.section[SH_SEC_COMMON].code, "\n" + cut);
}

TEST(ShaderReader, RegisterDeclarations)
{
    struct Case {
        const char* line;
        int ok;
        const char* name;
        int type, count, const_id;
    } cases[] = {
        {"float4 vPLPos[4];", 1, "vPLPos", 8, 4, SH_C_PLPOS},
        {"float4 vPLColor[NR_POINT_LIGHT];", 1, "vPLColor", 8, 1, SH_C_PLCOLOR},
        {"float4 vSpaced [4];", 1, "vSpaced", 8, 1, SH_C_NONE},
        {"float4x3 mMPAL[128];", 1, "mMPAL", 10, 128, SH_C_MPAL},
        {"\tfloat   fRate ;", 1, "fRate", 5, 1, SH_C_RATE},
        {"sampler sTex : register(s2);", 1, "sTex", 12, 1, SH_C_NONE},
        {"int2 iPair[1];", 1, "iPair", 2, 1, SH_C_NONE},
        {"float4 vmPVM;", 1, "vmPVM", 8, 1, SH_C_NONE},  // exact names only
        {"Float4 vCapital;", 0, "", 0, 0, 0},
        {"half4 vUnknown;", 0, "", 0, 0, 0},
        {"float4", 0, "", 0, 0, 0},
        {"float4 [4];", 0, "", 0, 0, 0},
        {"float4 ;", 0, "", 0, 0, 0},
        {"", 0, "", 0, 0, 0},
        {"float4 vHuge[99999999999999999999];", 0, "", 0, 0, 0},
    };
    for (const Case& c : cases) {
        ShaderDecl d;
        ASSERT_EQ(shader_decl_parse(c.line, &d), c.ok) << c.line;
        if (!c.ok) continue;
        EXPECT_EQ(d.name, c.name) << c.line;
        EXPECT_EQ(d.type, c.type) << c.line;
        EXPECT_EQ(d.count, c.count) << c.line;
        EXPECT_EQ(d.const_id, c.const_id) << c.line;
    }
    ShaderDecl d;
    EXPECT_EQ(shader_decl_parse("float4 " + std::string(kShaderNameMax + 1, 'n') + ";", &d), 0);
    EXPECT_EQ(shader_decl_parse("float4 " + std::string(kShaderNameMax, 'n') + ";", &d), 1);
}

TEST(ShaderReader, StageSourceAssembly)
{
    ShaderFileText t = read_fixture("full.txt");
    const ShaderSection& c = t.section[SH_SEC_COMMON];
    const ShaderSection& v = t.section[SH_SEC_VERTEX];
    EXPECT_EQ(shader_file_assemble(t, SH_SEC_VERTEX, "#define NR_POINT_LIGHT  2"),
              "#define NR_POINT_LIGHT  2\n" + c.regs + c.code + v.regs + v.code);
    EXPECT_EQ(shader_file_assemble(t, SH_SEC_PIXEL, nullptr),
              c.regs + c.code + t.section[SH_SEC_PIXEL].regs + t.section[SH_SEC_PIXEL].code);
    EXPECT_EQ(shader_file_assemble(t, SH_SEC_COMMON, nullptr), "");
}

TEST(ShaderReader, ParametersPackedInSectionOrderFirstNameOnly)
{
    ShaderFileText t = read_fixture("full.txt");
    std::vector<ShaderParam> p;
    shader_file_params(t, &p);
    struct Want {
        const char* name;
        int offset;
    } want[] = {{"vTint", 0}, {"vSpaced", 16}, {"vShared", 32},
                {"vUv", 44},  {"sNormal", 68}, {"iFlags", 72}};
    ASSERT_EQ(p.size(), std::size(want));
    for (size_t i = 0; i < p.size(); ++i) {
        EXPECT_EQ(p[i].name, want[i].name);
        EXPECT_EQ(p[i].offset, want[i].offset) << p[i].name;
    }
    EXPECT_EQ(p[0].type, 8);  // the common float4, not the vertex section's float
    EXPECT_EQ(find_decl(t.section[SH_SEC_VERTEX], "vTint")->type, 5);
}

TEST(ShaderReader, TruncatedAndRandomTextNeverBreaksTheReader)
{
    std::ifstream in(fixture_dir() + "full.txt", std::ios::binary);
    std::string full(std::istreambuf_iterator<char>(in), {});
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
            EXPECT_LE(q.offset + shader_reg_type_size(q.type) * q.count, kShaderParamBlock);
    }
}
