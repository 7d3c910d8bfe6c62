// The shader library on the device: record choice, constants, caller parameters, dumps, draws.
#include <gmock/gmock.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "disp/cam.h"
#include "disp/disp_env.h"
#include "disp/disp_fade.h"
#include "disp/disp_work.h"
#include "disp/fog.h"
#include "res/mesh_buf.h"
#include "disp/plight.h"
#include "disp/rstate.h"
#include "shader_fixture.h"

namespace {

using testing::FloatNear, testing::Pointwise;

const int SHADER_LIB_FMT = disp_fvf_to_lvf(0x112);  // position, normal, one texture set

RstateMeshArgs draw_args(int set, int lights = 0, const void* block = nullptr)
{
    static uint32_t params[23];
    RstateMeshArgs a{};
    a.shader_set = set;
    a.params = block ? block : params;
    a.decl = SHADER_LIB_FMT;
    a.light_count = lights;
    return a;
}

struct QuadVertex {
    float x, y, z, nx, ny, nz, u, v;
};

// The rectangle x0..x1 by -1..1 at depth 0.5, its normal facing the viewer (-1) or away.
int draw_rect(float x0, float x1, float nz = -1)
{
    const QuadVertex q[4] = {{x0, -1, 0.5f, 0, 0, nz, 0, 0},
                             {x1, -1, 0.5f, 0, 0, nz, 0, 0},
                             {x0, 1, 0.5f, 0, 0, nz, 0, 0},
                             {x1, 1, 0.5f, 0, 0, nz, 0, 0}};
    return gfx_draw_primitive_up(GFX_PT_TRIANGLESTRIP, 2, q, sizeof(QuadVertex));
}

// Screen 0 without its camera, seeing through an identity view-projection.
void use_identity_view()
{
    cam_set_enable(0, 0);
    cam_select_xform_set(0);
    cam_get_xform_set(0)->view_proj = VM_MAT_IDENTITY;
    cam_get_xform_set(0)->cam_to_world = VM_MAT_IDENTITY;
    shader_begin_view();
    tex_set_stage(0, nullptr, 1);
}

}  // namespace

class ShaderLib : public ShaderDevice {
protected:
    void SetUp() override
    {
        ShaderDevice::SetUp();
        if (HasFatalFailure()) return;
        disp_work_clear();
        scene_set_defaults();
        shader_frame_constants();
    }
};

TEST_F(ShaderLib, SetsChooseRecordsByPointLightCountCutToFourAndRefuseWhatIsOutOfRange)
{
    for (auto [set, lights, rec] :
         {std::array{3, 0, 3}, {3, 2, 5}, {4, 0, 8}, {4, 4, 12}, {0, 3, 0}, {5, 0, -1}})
        EXPECT_EQ(shader_record_for_set(set, lights), rec) << set << " " << lights;
    plight_pool_reset();
    PointLight* l[6];
    for (PointLight*& p : l) p = plight_create(1, nullptr, 5, 0xFFFFFFFF, 1);
    RstateMeshArgs a = draw_args(4, 6);  // more than four are cut to four
    a.lights = l;
    shader_setup_mesh(a);
    EXPECT_EQ(
        (std::array{shader_get_key(), shader_get_point_light_count(), shader_has_point_lights()}),
        (std::array{12, 4, 1}));
    // Sets and passes out of range are refused and keep the bound record.
    EXPECT_EQ(shader_setup_mesh(draw_args(5)) + shader_setup_mesh(draw_args(-1)), 0);
    a = draw_args(0);
    a.pass_id = 5;
    EXPECT_EQ(shader_setup_mesh(a), 0);
    EXPECT_EQ(shader_get_key(), 12);
}

TEST_F(ShaderLib,
       TheSameDrawBindsOnceAFormatChangeRebindsTheVertexStageAndSkinnedOr2dDrawsTakeTheirStage)
{
    const uint64_t b0 = shader_bind_count();
    shader_setup_mesh(draw_args(3));
    shader_setup_mesh(draw_args(3));
    EXPECT_EQ(shader_bind_count(), b0 + 2);
    RstateMeshArgs other = draw_args(3);
    other.decl = disp_fvf_to_lvf(0x152);
    shader_setup_mesh(other);
    EXPECT_EQ(shader_bind_count(), b0 + 3);
    MeshBuffers mesh{};
    ShaderSkeleton skel{&mesh, nullptr, 0};
    RstateMeshArgs a = draw_args(4);
    a.mesh = &mesh;
    a.skin = &skel;
    shader_setup_mesh(a);
    EXPECT_EQ(shader_get_key(), 8 + 65536);
    a = draw_args(0);
    a.decl = disp_fvf_to_lvf(0x244);
    shader_setup_mesh(a);
    EXPECT_EQ(shader_get_key(), SHADER_KEY_FIXED);
    EXPECT_EQ(shader_setup_mesh(draw_args(0)), 1);  // a 3D draw binds record 0
    EXPECT_EQ(shader_get_key(), 0);
}

TEST_F(ShaderLib, BonePaletteHoldsAtMost128AndReadsOnlyTheSkeletonsBones)
{
    std::vector<MeshBone> bones(200);
    for (size_t i = 0; i < bones.size(); ++i) bones[i] = MeshBone{"b", NameHash(i), {}};
    MeshBuffers mesh{};
    mesh.bones = bones.data();
    mesh.bone_count = uint32_t(bones.size());
    std::vector<ShaderBone> sk(3, ShaderBone{"b", 0, &VM_MAT_IDENTITY});
    ShaderSkeleton own{&mesh, sk.data(), int(sk.size())};
    RstateMeshArgs a = draw_args(0);
    a.mesh = &mesh;
    a.skin = &own;
    shader_setup_mesh(a);
    EXPECT_EQ(shader_get_palette_count(), SHADER_PALETTE_MAX);
    ShaderSkeleton by_name{nullptr, sk.data(), int(sk.size())};
    a.skin = &by_name;
    shader_setup_mesh(a);
    EXPECT_EQ(shader_get_palette_count(), SHADER_PALETTE_MAX);
}

TEST_F(ShaderLib, AFormatSetBehindTheLibraryIsSetAgainByTheNextDraw)
{
    const float* id = VM_MAT_IDENTITY.m;
    gfx_set_transform(GFX_TS_VIEW, id);
    gfx_set_transform(GFX_TS_PROJECTION, id);
    tex_set_stage(0, nullptr, 1);
    RstateMeshArgs a = draw_args(0);  // record 0 draws plain meshes fixed-function
    a.world = id;
    const RenderStateKey unlit = rstate_key_make(0, 0, 0, 0, 2, 5, 7, 0, 1);
    disp_set_rstate_block(unlit, &a);
    disp_set_lvf_decl(disp_fvf_to_lvf(0x144));  // as the font drawing does
    disp_set_rstate_block(unlit, &a);
    disp_clear(4, 0xFF000000u);
    ASSERT_EQ(draw_rect(-1, 1), GFX_OK);
    EXPECT_TRUE(Near(Pixel(DISP_FIXTURE_TEST_WIDTH / 2, DISP_FIXTURE_TEST_HEIGHT / 2), 0xFFFFFFFFu))
        << std::hex << Pixel(DISP_FIXTURE_TEST_WIDTH / 2, DISP_FIXTURE_TEST_HEIGHT / 2);
}

TEST_F(ShaderLib, FogAndFarParametersAndLightVectorsGoToObjectSpace)
{
    cam_set_far(0, 100.0f);
    fog_set_enable(0, 0);
    shader_frame_constants();
    EXPECT_FLOAT_EQ(shader_get_far_param(0)[1], 101.0f);
    // Start equal to end: a hard edge, never an infinite or NaN constant.
    const float* f = shader_get_fog_param(0);
    fog_set_enable(0, 1);
    fog_set_start(0, 50.0f);
    fog_set_end(0, 50.0f);
    shader_frame_constants();
    EXPECT_TRUE(std::isfinite(f[0]) && std::isfinite(f[1]));
    const Vec3 down = {0, -1, 0};
    env_set_light_dir(0, &down);
    disp_fade_frame();
    // World: turned a quarter about z and scaled by 2; the light vector is
    // renormalised, the eye is a point.
    const float world[16] = {0, 2, 0, 0, -2, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
    RstateMeshArgs a = draw_args(3);
    a.world = world;
    shader_setup_mesh(a);
    const float* l = shader_get_draw_vector(SHADER_CONST_LIGHTVEC);  // world +y is object +x
    EXPECT_THAT(std::vector(l, l + 4), Pointwise(FloatNear(1e-5f), {1.0f, 0.0f, 0.0f, 0.0f}));
    EXPECT_FLOAT_EQ(shader_get_draw_vector(SHADER_CONST_EYEPOS)[3], 1.0f);
}

TEST_F(ShaderLib, MaterialColoursLitUnlitAndWithoutAMaterial)
{
    env_set_color2(0, 0xFF808080u);
    disp_fade_frame();
    ShaderMaterial mat{0x00FFFFFFu, 0xFFFFFFFFu, 0, 0xFFFFFFFFu, 0.0f, 1.0f};
    RstateMeshArgs a = draw_args(3);
    a.material = &mat;
    const RenderStateKey lit = rstate_key_make(1, 0, 0, 0, 2, 5, 7, 0, 1);
    const RenderStateKey unlit = rstate_key_make(0, 0, 0, 0, 2, 5, 7, 0, 1);
    disp_set_rstate_block(lit, &a);
    const float* dif = shader_get_draw_vector(SHADER_CONST_DIFFUSE);
    EXPECT_FLOAT_EQ(shader_get_draw_vector(SHADER_CONST_SPECULAR)[3], 0.1f);  // power 0 lifted
    // The emissive colour adds to the ambient terms.
    const float sky = shader_get_draw_vector(SHADER_CONST_AMBIENTSKY)[0];
    ShaderMaterial glow = mat;
    glow.emissive = 0xFF404040u;
    a.material = &glow;
    disp_set_rstate_block(lit, &a);
    EXPECT_NEAR(shader_get_draw_vector(SHADER_CONST_AMBIENTSKY)[0] - sky, 64.0f / 255.0f, 1e-5);
    a.material = &mat;
    disp_set_rstate_block(unlit, &a);
    EXPECT_FLOAT_EQ(dif[0], 0.0f);
    a.material = nullptr;
    disp_set_rstate_block(lit, &a);
    EXPECT_FLOAT_EQ(dif[0], 1.0f);
}

class ShaderOwnFiles : public ShaderDeviceBase {
protected:
    void SetUp() override
    {
        DispDevice::SetUp();
        if (HasFatalFailure()) return;
        // Caller registers in different orders in the two files, and a pixel
        // stage that samples two caller samplers.
        for (const char* f : {"phong.txt", "plphong.txt"})
            std::filesystem::copy_file(fixture_dir() + "own/" + f, tmp_.file(f));
    }
    void Init(int dump = 0) { ShaderDeviceBase::Init(tmp_.file(""), dump); }
};

TEST_F(ShaderOwnFiles,
       ParametersAreCopiedBoundedByTheDeclarationTheBytesAndTheBlockAndSamplersBindAboveStageZero)
{
    Init();
    uint8_t block[SHADER_PARAM_BLOCK + 8];
    std::memset(block, 0xEE, sizeof block);
    const float tint[4] = {1, 2, 3, 4};
    EXPECT_EQ(shader_set_param(block, 3, "vTint", tint, 16), 1);
    // Fewer bytes than declared: only those are read.
    const float one = 9.0f;
    EXPECT_EQ(shader_set_param(block, 3, "vTint", &one, 4), 1);
    EXPECT_EQ(std::memcmp(block + 4, tint + 1, 12), 0);
    // More bytes than declared: only the declaration.
    float big[32] = {};
    EXPECT_EQ(shader_set_param(block, 3, "mBig", big, sizeof big), 1);
    EXPECT_EQ(block[16 + 64], 0xEE);
    // mTooBig would end past the 92-byte block: it is not a parameter.
    EXPECT_EQ(shader_set_param(block, 3, "mTooBig", big, 64), 0);
    for (size_t i = SHADER_PARAM_BLOCK; i < sizeof block; ++i) EXPECT_EQ(block[i], 0xEE);
    EXPECT_EQ(shader_set_param(block, 3, "vtint", tint, 16), 0);
    EXPECT_EQ(shader_set_param(block, 5, "vTint", tint, 16), 0);
    EXPECT_EQ(shader_set_param(block, 1, "vTint", tint, 16), 0);  // record 1 has no file here
    // A texture handle in a sampler register binds its stage; only stages above 0 count.
    TexRecord tex{};
    ASSERT_EQ(tex_create(&tex, GFX_FMT_A8R8G8B8, 4, 4, 1), 1);
    static TexRecord* s_tex = &tex;
    DispLinks links = disp_links();
    links.tex_lookup = [](uint32_t h) { return h == 7 ? s_tex : nullptr; };
    disp_set_links(links);
    std::memset(block, 0, sizeof block);
    const uint32_t handle = 7;
    ASSERT_EQ(shader_set_param(block, 3, "sExtra", &handle, 4), 1);
    ASSERT_EQ(shader_set_param(block, 3, "sZero", &handle, 4), 1);
    shader_setup_mesh(draw_args(3, 0, block));
    EXPECT_EQ(shader_get_max_sampler_stage(), 2);
    tex_set_stage(2, nullptr, 1);
    tex_release(&tex);
}

TEST_F(ShaderOwnFiles, EachStageCompilesWithItsOwnDefaultsThroughItsOwnCall)
{
    const std::string vs = "void VsMain() { gl_Position = iPosition; }\n";
    const std::string ps = "void PsMain() { oC0 = vD0; }\n";
    const std::vector<ShaderDecl> none;
    ShaderRecord rec{};
    EXPECT_EQ(shader_compile_vertex_stage(&rec.stage[0], nullptr, "", vs, none, none), 1);
    EXPECT_EQ(shader_compile_vertex_stage(&rec.stage[1], "", nullptr, vs, none, none, true), 1);
    EXPECT_EQ(shader_compile_pixel_stage(&rec.stage[2], nullptr, nullptr, ps, none, none), 1);
    shader_release_record(&rec);
    // Each call looks for its own entry function, and nothing is kept on failure.
    EXPECT_EQ(shader_compile_pixel_stage(&rec.stage[2], nullptr, nullptr, vs, none, none), 0);
    EXPECT_EQ(shader_compile_vertex_stage(&rec.stage[0], nullptr, nullptr, ps, none, none), 0);
    EXPECT_EQ(shader_compile_vertex_stage(&rec.stage[0], nullptr, nullptr, "", none, none), 0);
    for (const ShaderStage& st : rec.stage) EXPECT_EQ(st.shader, nullptr);
}

TEST_F(ShaderOwnFiles, StagesOverTheSourceBudgetAreRefusedWithALogLine)
{
    testing::internal::CaptureStderr();
    ShaderDeviceBase::Init(fixture_dir() + "hostile/");
    const std::string log = testing::internal::GetCapturedStderr();
    for (const char* f : {"color.txt", "phong.txt"})
        EXPECT_NE(log.find(std::string(f) + " pixel stage refused"), std::string::npos) << log;
}

TEST_F(ShaderOwnFiles, MatrixParametersReachTheShaderAsRows)
{
    Init();
    disp_work_clear();
    use_identity_view();
    uint8_t block[SHADER_PARAM_BLOCK] = {};
    const float move[16] = {1, 0, 0, 0, 0,    1, 0, 0,
                            0, 0, 1, 0, 1.0f, 0, 0, 1};  // right by half the view
    ASSERT_EQ(shader_set_param(block, 3, "mBig", move, sizeof move), 1);
    disp_clear(4, 0xFF000000u);
    const RstateMeshArgs a = draw_args(3, 0, block);
    disp_set_rstate_block(rstate_key_make(0, 0, 0, 0, 2, 5, 7, 0, 1), &a);
    ASSERT_EQ(draw_rect(-1, 0), GFX_OK);
    EXPECT_EQ(Pixel(3 * DISP_FIXTURE_TEST_WIDTH / 4, DISP_FIXTURE_TEST_HEIGHT / 2) & 0xFFFFFF,
              0xFFFFFFu);
}

// A dump goes through the one writer: a pipe at its name without a reader is refused at once
// with a line (a blocking open would wait at start for good), and the other dumps are written.
TEST_F(ShaderOwnFiles, ASourceDumpNeverWaitsOnAPipe)
{
    ASSERT_EQ(::mkfifo(tmp_.file("_phong_vs.txt").c_str(), 0600), 0);
    ::alarm(120);  // a hang ends the test
    testing::internal::CaptureStderr();
    Init(1);
    const std::string log = testing::internal::GetCapturedStderr();
    ::alarm(0);
    EXPECT_NE(log.find("shader: source not written \"sh/_phong_vs.txt\": open: No such device "
                       "or address"),
              std::string::npos)
        << log;
    EXPECT_FALSE(tmp_.read("_phong_ps.txt").empty());
}

TEST_F(ShaderOwnFiles,
       AssembledSourcesAreWrittenWhenAskedAndAMissingFolderLoadsNothingAndDrawsFallBack)
{
    Init(1);
    // Written whether or not the stage compiled; the last point-light row wins.
    EXPECT_EQ(tmp_.read("_plphong_ps.txt").rfind("#define NR_POINT_LIGHT  4\n", 0), 0u);
    shader_term();
    use_shader_folder(tmp_, tmp_.file("missing/"));
    shader_init_in(tmp_);
    EXPECT_EQ(shader_setup_mesh(draw_args(4, 2)), 1);
    // A restart after a stop binds again.
    shader_term();
    Init();
    EXPECT_EQ(shader_setup_mesh(draw_args(3)), 1);
}

TEST_F(ShaderLib, ALitDrawIsBrighterWhereItFacesTheLight)
{
    use_identity_view();
    const Vec3 travel = {0, 0, 1};  // from the viewer into the picture
    env_set_light_dir(0, &travel);
    env_set_color0(0, 0xFF202020u);
    env_set_color1(0, 0xFF202020u);
    env_set_color2(0, 0xFFFFFFFFu);
    env_set_color3(0, 0);
    disp_fade_frame();
    ShaderMaterial mat{0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0, 0.0f, 1.0f};
    RstateMeshArgs a = draw_args(3);
    a.material = &mat;
    ASSERT_NE(shader_get_record(3)->stage[SHADER_STAGE_PIXEL].shader, nullptr);
    disp_clear(4, 0xFF000000u);
    disp_set_rstate_block(rstate_key_make(1, 0, 0, 0, 2, 5, 7, 0, 1), &a);
    // Left half faces the viewer (and the light), the right half faces away.
    ASSERT_EQ(draw_rect(-1, 0, -1), GFX_OK);
    ASSERT_EQ(draw_rect(0, 1, 1), GFX_OK);
    const uint32_t lit = Pixel(DISP_FIXTURE_TEST_WIDTH / 4, DISP_FIXTURE_TEST_HEIGHT / 2);
    const uint32_t dark = Pixel(3 * DISP_FIXTURE_TEST_WIDTH / 4, DISP_FIXTURE_TEST_HEIGHT / 2);
    EXPECT_GT(lit & 0xFF, 0xE0u) << std::hex << lit;
    EXPECT_LT(dark & 0xFF, 0x40u) << std::hex << dark;
    EXPECT_GT(dark & 0xFF, 0x10u) << std::hex << dark;  // the ambient still shows
}
