// Compiled stages: constant table, bounded setters, samplers, bad sources.
#include "gfx_fixture.h"

namespace {
const char* GFX_SHADER_VS = R"(#define SCALE 1.0
float4x4 mWVP;
float4 vUnused;
float4 vOffset[2];
void VsMain() {
  float4 p = float4(0.0);
  gl_Position = mul(vec4(iPosition.xyz, 1.0), mWVP) + vOffset[1] * SCALE + p;
  vD0 = iColor0;
  vT0 = iTexCoord0;
}
)";

const char* GFX_SHADER_PS = R"(float4 vTint;
float3 vAdd;
float4 vArr[2];
float4 vAfter;
sampler sImage : register(s3);
sampler sOther;
int iMode;
void PsMain() {
  float4 tex = texture(sImage, vT0.xy) + texture(sOther, vT0.xy) * vAdd.x;
  oC0 = (iMode == 1 ? tex * vTint : vD0) + vec4(vAdd, 0.0) + (vArr[0] + vArr[1]) * 0.001 + vAfter;
}
)";
}  // namespace

class GfxShaderTest : public GfxStagesTest {
protected:
    void SetUp() override
    {
        GfxTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(compile_stages(GFX_SHADER_VS, GFX_SHADER_PS, "vs_1_1"));
        gfx_const_set_matrix(vs_, c(vs_, "mWVP"), VM_MAT_IDENTITY.m);
    }
    static uint32_t c(GfxShader* s, const char* name) { return gfx_const_by_name(s, name); }
};

TEST_F(GfxShaderTest, ConstantTableKnowsOnlyUsedRegisters)
{
    EXPECT_NE(c(vs_, "mWVP"), 0u);
    // Declared but not used, a local left alone, an unknown name.
    for (const char* none : {"vUnused", "p", "nothing"}) EXPECT_EQ(c(vs_, none), 0u) << none;
    GfxConstDesc d{};
    ASSERT_EQ(gfx_const_desc(vs_, c(vs_, "vOffset"), &d), GFX_OK);
    EXPECT_EQ(std::pair(d.type, d.count), std::pair(GFX_CT_FLOAT4, 2));
    ASSERT_EQ(gfx_const_desc(ps_, c(ps_, "iMode"), &d), GFX_OK);
    EXPECT_EQ(d.type, GFX_CT_INT);
    // Samplers: the register annotation, else the lowest free stage.
    EXPECT_EQ(gfx_const_sampler_stage(ps_, c(ps_, "sImage")), 3);
    EXPECT_EQ(gfx_const_sampler_stage(ps_, c(ps_, "sOther")), 0);
    for (uint32_t not_a_sampler : {c(ps_, "vTint"), 0u, 999u})
        EXPECT_EQ(gfx_const_sampler_stage(ps_, not_a_sampler), -1);
}

TEST_F(GfxShaderTest, SettersNeverWritePastTheDeclaredSize)
{
    gfx_set_vertex_shader(vs_);
    gfx_set_pixel_shader(ps_);
    const float green[4] = {0, 1, 0, 0};
    ASSERT_EQ(gfx_const_set_vector(ps_, c(ps_, "vAfter"), green), GFX_OK);
    // Four vectors into a two-element array: cut to two, no error, no spill.
    const float red4[16] = {1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1};
    EXPECT_EQ(gfx_const_set_vectors(ps_, c(ps_, "vArr"), red4, 4), GFX_OK);
    EXPECT_EQ(gfx_const_set_floats(ps_, c(ps_, "vArr"), red4, 1000), GFX_OK);
    EXPECT_EQ(gfx_const_set_floats(ps_, c(ps_, "vAdd"), red4, 16), GFX_OK);
    EXPECT_EQ(gfx_const_set_ints(ps_, c(ps_, "iMode"), reinterpret_cast<const int*>(red4), 16),
              GFX_OK);
    const float zero4[4] = {0, 0, 0, 0};
    gfx_const_set_vector(ps_, c(ps_, "vAdd"), zero4);
    gfx_const_set_int(ps_, c(ps_, "iMode"), 0);
    clip_quad(GFX_FIXTURE_BLACK, true);
    EXPECT_TRUE(near(pixel(4, 4), GFX_FIXTURE_GREEN)) << std::hex << pixel(4, 4);
    EXPECT_EQ(gfx_const_set_vector(ps_, 0, green), GFX_E_INVALIDCALL);
    EXPECT_EQ(gfx_const_set_vector(ps_, 12345, green), GFX_E_INVALIDCALL);
    EXPECT_EQ(gfx_const_set_vectors(ps_, c(ps_, "vArr"), nullptr, 2), GFX_E_INVALIDCALL);
    EXPECT_EQ(gfx_const_set_float(nullptr, 1, 1.0f), GFX_E_INVALIDCALL);
    EXPECT_EQ(gfx_const_set_vectors(ps_, c(ps_, "vArr"), red4, -3), GFX_E_INVALIDCALL);
}

TEST_F(GfxShaderTest, BadSourcesProfilesAndEntriesFailCleanly)
{
    std::string log;
    EXPECT_EQ(compile(GFX_SHADER_PIXEL, GFX_SHADER_PS, "PsMain", "vs_1_1", &log), nullptr);
    EXPECT_EQ(compile(GFX_SHADER_VERTEX, GFX_SHADER_VS, "VsMain", "ps_2_0", &log), nullptr);
    EXPECT_EQ(compile(GFX_SHADER_PIXEL, GFX_SHADER_PS, "Missing", "ps_2_0", &log), nullptr);
    EXPECT_FALSE(log.empty());
    EXPECT_EQ(compile(GFX_SHADER_PIXEL, GFX_SHADER_PS, "Ps Main; evil", "ps_2_0", &log), nullptr);
    EXPECT_EQ(compile(GFX_SHADER_PIXEL, "void PsMain() { oC0 = ; }", "PsMain", "ps_2_0", &log),
              nullptr);
    EXPECT_NE(log.find("error"), std::string::npos);
    // Unknown types, and absurd register numbers and array sizes, neither overflow nor crash.
    for (const char* bad :
         {"float5 vBad;\nvoid PsMain() { oC0 = vec4(1); }",
          "float4 vHuge[99999999999999999999];\nsampler sX : register(s99999999999999);\n"
          "void PsMain() { oC0 = vHuge[0] + texture(sX, vec2(0.0)); }\n"})
        EXPECT_EQ(compile(GFX_SHADER_PIXEL, bad, "PsMain", "ps_2_0", &log), nullptr);
    // A register array sized by a macro takes its size from GL.
    GfxShader* s =
        compile(GFX_SHADER_PIXEL,
                "#define N 3\nfloat4 vL[N];\nvoid PsMain() { oC0 = vL[0] + vL[1] + vL[2]; }\n",
                "PsMain", "ps_3_0", &log);
    ASSERT_NE(s, nullptr) << log;
    GfxConstDesc d{};
    ASSERT_EQ(gfx_const_desc(s, c(s, "vL"), &d), GFX_OK);
    EXPECT_EQ(d.count, 3);
    gfx_shader_release(s);
    char tiny[4];
    EXPECT_EQ(gfx_shader_compile(GFX_SHADER_PIXEL, "x", 1, "PsMain", "ps_2_0", tiny, sizeof tiny),
              nullptr);
    EXPECT_LT(std::strlen(tiny), sizeof tiny);
}
