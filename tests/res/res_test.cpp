// The resource manager's pools, handles, lookups, marks and per-kind queries.
#include "res_fixture.h"
#include "svc/textlist.h"
#include "disp/res_stats.h"
#include "child_proc.h"
#include "plat/byte_order.h"

#include <sys/resource.h>

#include <gmock/gmock.h>

#include <cmath>
#include <cstring>

namespace {

using qvw::Bytes;
using ::testing::FloatNear;
using ::testing::Pointwise;

ResHandle add_mesh(const char* group, const qvw::ModelDesc& desc)
{
    std::array<char, 300> name;
    const uint32_t flags = uint32_t(name_strip_variant(name, desc.name.c_str()));
    Decoded model = decoded(desc, flags);
    return res_mesh_register(group, name.data(), model.src, flags);
}

Bytes bones() { return qvw::bone_chunk(qvw::sample_bones()); }
Bytes walk() { return qvw::anime_chunk(qvw::sample_anime()); }

}  // namespace

TEST_F(ResTest, BootMakesTheDefaultTexturesAndReportsTheUsage)
{
    boot();
    EXPECT_EQ(res_counts(), (ResCounts{.tex = 7, .cat = 1}));
    EXPECT_EQ((std::array{res_tex_find("disp_res", "test_def"), res_tex_test(), res_tex_nrm()}),
              (std::array<ResHandle, 3>{1, 1, 7}));
    EXPECT_EQ(res_tex_read_texel(res_tex_test(), 1, 0), 0xFF00FF00u);
    EXPECT_EQ(res_tex_read_texel(res_tex_cyan(), 0, 0), 0x8000FFFFu);
    EXPECT_EQ(res_tex_bytes(), (4u + 6u) * 4u);
    EXPECT_STREQ(res_tex_group(1), "disp_res");
    const int32_t list = textlist_create(8192);
    ASSERT_GE(list, 0);
    res_stats_print(list, 12, 40);
    // The records: x and y at bytes 24 and 28, field size at 36, then the text.
    const uint8_t* p = textlist_get(list);
    std::vector<std::string> got;
    while (*p == TEXTLIST_RECORD_MARK) {
        int32_t xy[2];
        uint32_t field;
        std::memcpy(xy, p + 24, 8);
        std::memcpy(&field, p + 36, 4);
        EXPECT_EQ(std::pair(xy[0], xy[1]), std::pair(12, 40 + 16 * int(got.size())));
        got.emplace_back(reinterpret_cast<const char*>(p + TEXTLIST_HEADER_SIZE));
        p += TEXTLIST_HEADER_SIZE + field;
    }
    textlist_free(list);
    ASSERT_EQ(got.size(), size_t(RES_STATS_LINES));
    EXPECT_EQ(got[1], "TEX        7/  1000   0%(     7) :     56 /  10240    0%(    56)");
    EXPECT_EQ(got[7], "ANIME      0/     1   0%(     0) :      0K/      0K   0%(     0K) :      "
                      "0/     1   0%(     0)");
    EXPECT_EQ(got[12], "MLIST      0/    10   0%(     0)");
    EXPECT_EQ(got[13], "MSTACK     0/    64");
    char line[160];
    EXPECT_FALSE(res_stats_line(RES_STATS_LINES, line, sizeof line));
}

TEST_F(ResTest, MarksReleaseExactlyWhatCameAfter)
{
    open_every_kind();
    boot();
    ResMark before;
    res_mark(before);
    uint32_t bytes = res_tex_bytes();
    ResMark empty;
    res_mark(empty);
    res_release_to_mark(empty);  // right after taking it: nothing
    EXPECT_EQ(std::tuple(res_counts(), empty.live), std::tuple(ResCounts{.tex = 7, .cat = 1}, 0u));
    res_tex_create("g", "t", 4, 4, 0, false);
    ResMark middle;
    res_mark(middle);
    add_mesh("g", qvw::sample_quad());
    res_bone_register("g", "root", bones());
    res_anime_register("g", "walk", walk());
    res_crop_register("h", "c", 0, 0, 1, 1, "t");
    EXPECT_EQ(
        res_counts(),
        (ResCounts{.tex = 8, .mesh = 1, .subset = 1, .bone = 1, .anime = 1, .crop = 1, .cat = 3}));
    res_release_to_mark(middle);
    EXPECT_EQ(res_counts(), (ResCounts{.tex = 8, .cat = 2}));
    EXPECT_EQ(res_vertex_bytes(), 0u);
    // The space given back is used again: the same registration succeeds.
    EXPECT_EQ(res_bone_register("g", "root", bones()), 1u);
    res_release_to_mark(before);
    EXPECT_EQ(res_tex_bytes(), bytes);
    res_release_to_mark(middle);  // above the current counts: nothing
    EXPECT_EQ(res_counts(), (ResCounts{.tex = 7, .cat = 1}));
}

// Full pools and name buffers refuse; default-closed kinds stay closed.
TEST_F(ResTest, FullPoolsAndNameBuffersRefuse)
{
    settings = {{"MAX_NR_CAT", "3"},
                {"SZ_BUFF_CATNAME", "16"},
                {"MAX_NR_TEX_CROP", "3"},
                {"SZ_BUFF_TEX_CROPNAME", "4"},
                {"MAX_NR_MESH_BONE", "3"}};
    boot();  // "disp_res\0" takes one group and 9 bytes of their names
    // Each refusal for want of room is recorded with the limit it met and the
    // key that raises it, in words for the loader's line.
    auto full = [] { return res_full_text(res_full_last()); };
    EXPECT_EQ(full(), "");
    EXPECT_EQ(res_cat_register("abcdef"), nullptr);  // 9 + 7 would reach the end
    EXPECT_EQ(full(),
              "no room in the CAT name buffer (16 bytes); SZ_BUFF_CATNAME in the settings text "
              "raises it");
    EXPECT_TRUE(res_cat_register("g") && res_cat_register("h"));
    res_full_clear();
    EXPECT_EQ(res_full_last().pool, -1);
    EXPECT_EQ(res_cat_register("i"), nullptr);  // the names fit, the pool is full
    EXPECT_EQ(full(),
              "no room in the CAT pool (3 entries); MAX_NR_CAT in the settings text raises it");
    EXPECT_EQ(res_crop_register("i", "c", 0, 0, 1, 1, "t"), 0u);  // a refused group's resource
    // A name that misses the full buffer leaves its crop reachable by handle only.
    ResHandle a = res_crop_register("g", "ab", 0, 0, 1, 1, "t");
    ResHandle b = res_crop_register("g", "abc", 0, 0, 1, 1, "t");
    ASSERT_TRUE(a && b);
    EXPECT_STREQ(res_crop_name(a), "ab");
    EXPECT_EQ(std::tuple(res_crop_name(b), res_crop_find("g", "abc")), std::tuple(nullptr, 0u));
    EXPECT_NE(res_crop_get(b), nullptr);
    EXPECT_NE(res_crop_register(nullptr, "d", 0, 0, 1, 1, "t"), 0u);
    EXPECT_EQ(res_crop_register("g", "e", 0, 0, 1, 1, "t"), 0u);
    EXPECT_EQ(full(),
              "no room in the TEX_CROP pool (3 entries); MAX_NR_TEX_CROP in the settings text "
              "raises it");
    EXPECT_EQ(res_counts(), (ResCounts{.tex = 7, .crop = 3, .cat = 3}));
    // Mesh bones: room is the capacity less one less those used.
    EXPECT_NE(add_mesh("g", qvw::sample_skinned()), 0u);  // 2 bones: room 3 - 1 - 0
    qvw::ModelDesc again = qvw::sample_skinned();
    again.name = "second";
    EXPECT_EQ(add_mesh("g", again), 0u);                     // room 3 - 1 - 2 = 0
    EXPECT_NE(add_mesh("g", qvw::sample_quad()), 0u);        // a mesh without bones fits
    EXPECT_EQ(res_anime_register("g", "walk", walk()), 0u);  // closed by its defaults
    EXPECT_EQ(full(),
              "no room in the ANIME data buffer (1 byte); SZ_BUFF_ANIME in the settings text "
              "raises it");
    EXPECT_EQ(res_full_last().key, std::string("SZ_BUFF_ANIME"));
    EXPECT_EQ(res_shit_register("g", qvw::shit_chunk("s", qvw::sample_spheres())), 0u);
    EXPECT_EQ(res_caminfo_register("g", "cam", qvw::camr_chunk(qvw::sample_camr())), 0u);
    EXPECT_EQ(res_flash_register("g", "movie", qvw::fla_chunk(qvw::sample_fla())), 0u);
}

// Hostile pool sizes are cut to one ceiling with a log line; a pool whose
// default is 1 then works.
TEST_F(ResTest, PoolSizesAreCutToTheCeiling)
{
    const char* const keys[] = {"MAX_NR_MESH",   "MAX_NR_MESHLIST",   "MAX_NR_ANIME",
                                "SZ_BUFF_ANIME", "SZ_BUFF_ANIMENAME", "SZ_BUFF_TEX_PIXEL"};
    for (const char* key : keys) settings[key] = "2147483647";
    testing::internal::CaptureStderr();
    boot();
    const std::string log = testing::internal::GetCapturedStderr();
    for (const char* key : keys)
        EXPECT_NE(log.find(std::string(key) + " 2147483647 cut to"), std::string::npos) << log;
    EXPECT_EQ(res_anime_register("g", "walk", walk()), 1u);
}

// The texture budget is 256 MB unless the settings text says less: an image
// that alone fills it loads, one byte more is refused from its header. A
// budget of 0 takes no loaded texture.
TEST_F(ResTest, TheTextureBudgetComesFromTheSettingsText)
{
    // The RAM store reads the size from the header alone: 32 bits a texel.
    auto header = [](uint32_t w, uint32_t h) {
        Bytes png = qvw::png_checker(1, 1, 0, 0);
        plat_be_put32(&png[16], w);
        plat_be_put32(&png[20], h);
        return png;
    };
    const Bytes whole = header(8192, 8192), dot = header(1, 1);
    for (const char* value : {"", "2147483647", "0"}) {
        settings.clear();
        if (*value) settings["SZ_BUFF_TEX_PIXEL"] = value;
        testing::internal::CaptureStderr();
        boot();
        const ResHandle big =
            res_tex_load_mem("g", "big", whole.data(), uint32_t(whole.size()), false);
        const ResHandle small =
            res_tex_load_mem("g", "dot", dot.data(), uint32_t(dot.size()), false);
        const std::string log = testing::internal::GetCapturedStderr();
        const bool open = std::string(value) != "0";
        EXPECT_EQ(big != 0, open) << value;
        EXPECT_EQ(small, 0u) << value;
        EXPECT_EQ(res_tex_held_bytes(), open ? RES_TEX_BUDGET_DEFAULT : 0u) << value;
        EXPECT_NE(log.find("res: texture \"dot\" skipped: its 4 bytes pass the texture budget"),
                  std::string::npos)
            << log;
        res_shutdown();
    }
}

#ifndef QUORVEL_SANITIZE
// Without the memory for a pool it gets size 0: registrations and mesh lists
// fail quietly, nothing is written through a null pointer.
TEST_F(ResTest, APoolWhoseAllocationFailsIsClosed)
{
    settings = {{"SZ_BUFF_BONE", "200000000"}, {"MAX_NR_MESHLIST", "1048576"}};
    const pid_t child = fork_child([&] {
        uint64_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlimit room{(pages + 8192) * 4096, (pages + 8192) * 4096};  // 32 MB more
        ::setrlimit(RLIMIT_AS, &room);
        boot();
        add_mesh("g", qvw::sample_quad());
        res_mlist_begin();
        return res_mlist_add("g", "quad", nullptr) + res_mlist_end(nullptr) +
               res_bone_register("g", "root", bones());
    });
    EXPECT_EQ(finish_child(child, std::chrono::seconds(60)), 0);
}
#endif

TEST_F(ResTest, LoadedTexturesRegisterUnderTheirStemCropsTakePixelsAndTexturesClampCopyAndSample)
{
    boot();
    Bytes png = qvw::png_checker(8, 4, 0xFF000000, 0xFFFFFFFF);
    ResHandle a = res_tex_load_mem("g", "dir/a.png", png.data(), uint32_t(png.size()), false);
    ResHandle b = res_tex_load_mem("g", "other\\a.png", png.data(), uint32_t(png.size()), false);
    EXPECT_EQ(std::pair(a, b), std::pair(8u, 8u));  // the first after the seven made at boot
    EXPECT_STREQ(res_tex_name(a), "a");
    EXPECT_EQ(res_tex_get(a)->width, 8);
    res_tex_load_mem("g", "m.png", png.data(), uint32_t(png.size()), true);
    EXPECT_EQ(res_tex_bytes(), 40u + 128u + 128u + 48u);  // the mipmap surcharge is 3/8
    EXPECT_EQ(res_tex_load_mem("g", "bad.png", png.data(), 3, false), 0u);
    EXPECT_EQ(res_tex_count(), 9);
    ResHandle t = res_tex_create("g", "t", 64, 32, 0, false);
    ResHandle c = res_crop_register_px("g", "c", 16, 8, 32, 16, t);
    EXPECT_EQ(crop_of(c), (Crop{.tex = t, .u = 0.25f, .v = 0.25f, .w = 0.5f, .h = 0.5f}));
    // An invalid texture gives zeros rather than a division by zero.
    EXPECT_EQ(crop_of(res_crop_register_px("g", "z", 16, 8, 32, 16, 99)), Crop{});
    EXPECT_EQ(res_crop_set_px(c, 0, 0, 64, 32, 0), 1);
    EXPECT_EQ(crop_of(c), Crop{});
    EXPECT_EQ(res_crop_set_px(c, 0, 0, 64, 32, t), 1);
    EXPECT_EQ(crop_of(c), (Crop{.tex = t, .w = 1, .h = 1}));
    // A crop registered by texture name finds the stem in its own group.
    EXPECT_EQ(crop_of(res_crop_register("g", "n", 0, 0, 1, 1, "sub/t.png")).tex, t);
    EXPECT_EQ(crop_of(res_crop_register("h", "n", 0, 0, 1, 1, "t.png")).tex, 0u);
    ResHandle h = res_tex_create("g", "wall_clamp", 4, 4, 0, false);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(res_tex_get(h)->flags & 0x1F8, (1u << 3) | (1u << 6));
    uint32_t px[16];
    for (int i = 0; i < 16; i++) px[i] = uint32_t(i * 16) << 24;
    ASSERT_EQ(res_tex_set_image(h, 0, 0, 4, 4, px), 1);
    EXPECT_EQ(res_tex_sample(h, 0, 0), 0);  // no copy yet
    ASSERT_EQ(res_tex_make_texel_copy(h, nullptr), 1);
    // x = trunc(4.5 * 0.3) = 1; at 1.0, x = 4 lies outside.
    const float uv[][2] = {{0.3f, 0}, {0, 0.3f}, {1, 1}, {-0.5f, 0}, {std::nanf(""), 0}};
    std::vector<int> got;
    for (const auto& [u, v] : uv) got.push_back(res_tex_sample(h, u, v));
    EXPECT_EQ(got, (std::vector<int>{16, 64, 0, 0, 0}));
    EXPECT_TRUE(res_tex_set_address(h, 0, 1));
    EXPECT_EQ(res_tex_get(h)->flags & 0x1F8, 1u << 6);
    EXPECT_FALSE(res_tex_set_address(0, 0, 0));
    // Re-created smaller, released when a size is below 1.
    uint32_t before = res_tex_bytes();
    EXPECT_EQ(res_tex_recreate(h, 2, 2, 0, false), 1);
    EXPECT_EQ(res_tex_bytes(), before - 48);
    EXPECT_EQ(res_tex_recreate(h, 0, 2, 0, false), 1);
    EXPECT_EQ(res_tex_get(h)->id, 0u);
    EXPECT_EQ(res_tex_recreate(99, 2, 2, 0, false), 0);
}

TEST_F(ResTest, MeshListsNormalAndSpecularSlotsAndABlankMesh)
{
    boot();
    add_mesh("g", qvw::sample_quad());
    res_mlist_begin();
    for (int i = 0; i < 10; i++) EXPECT_TRUE(res_mlist_add("g", "quad", nullptr)) << i;
    EXPECT_FALSE(res_mlist_add("g", "quad", nullptr));
    ResMeshListNode* head = nullptr;
    EXPECT_TRUE(res_mlist_end(&head));
    int n = 0;
    for (ResMeshListNode* p = head; p; p = p->next) n++;
    EXPECT_EQ(std::tuple(n, res_mlist_used(), head->minus_one), std::tuple(10, 10, -1));
    EXPECT_EQ(head->object, res_mesh_get_object(1));
    res_mlist_begin();
    ResMeshListNode* none = head;
    EXPECT_FALSE(res_mlist_end(&none));
    EXPECT_EQ(none, nullptr);
    res_mlist_free(head);
    EXPECT_EQ(res_mlist_used(), 0);
    res_mlist_begin();
    uint32_t word = 7;
    EXPECT_TRUE(res_mlist_add(nullptr, "quad", &word));
    EXPECT_FALSE(res_mlist_add(nullptr, "nothing", nullptr));
    ResMeshListNode* again = nullptr;
    EXPECT_TRUE(res_mlist_end(&again));
    // The freed nodes are used again.
    EXPECT_EQ(std::tuple(again, again->caller_word, again->next), std::tuple(head, 7u, nullptr));
    res_mlist_free(nullptr);
    qvw::ModelDesc d = qvw::sample_skinned();  // "skin_NRM", subset texture "skin.png"
    d.name = "skin_NRM_SPC";
    ResHandle h = add_mesh("g", d);
    EXPECT_EQ(res_mesh_flags(h), 3u);
    EXPECT_STREQ(res_mesh_name(h), "skin");
    ResHandle normal = res_tex_create("g_NRM", "skin_normal", 1, 1, 0, false);
    res_mesh_bind_textures();
    const MeshSubset& s = res_mesh_get_object(h)->subsets[0];
    ASSERT_EQ(s.slot_count, 3u);
    EXPECT_STREQ(s.slot_name[1], "skin_normal");
    EXPECT_STREQ(s.slot_name[2], "skin_specular");
    EXPECT_STREQ(s.slot_group[1], "g_NRM");
    // "skin" is not loaded, the missing specular map gets the black stand-in.
    EXPECT_EQ(std::vector(s.slot_tex, s.slot_tex + 3),
              (std::vector<uint32_t>{0, normal, res_tex_black()}));
    EXPECT_EQ(res_mesh_get_object(h)->bone_count, 2u);
    EXPECT_STREQ(res_mesh_get_object(h)->bones[1].name, "arm");
    EXPECT_EQ(res_pool_used(RES_MBONE), 2);
    ResHandle blank = res_mesh_create_blank("g", "blank", 5);
    ASSERT_NE(blank, 0u);
    const MeshBuffers* m = res_mesh_get_object(blank);
    EXPECT_EQ(std::pair(m->vertex_count, m->index_count), std::pair(15u, 0u));
    ASSERT_EQ(m->subset_count, 1u);
    // Without indices a subset uses its corners in order.
    EXPECT_EQ(std::pair(m->subsets[0].min_vertex, m->subsets[0].vertex_count), std::pair(0u, 15u));
    EXPECT_EQ(res_mesh_create_blank("g", "none", 0), 0u);
}

// A data copy must end strictly before its buffer's end; booting again takes the new size.
TEST_F(ResTest, ShutdownFreesAndBootAgainTakesNewSizes)
{
    const Bytes bone = bones();
    settings = {{"SZ_BUFF_BONE", std::to_string(bone.size())}};
    boot();
    add_mesh("g", qvw::sample_quad());
    EXPECT_EQ(res_bone_register("g", "root", bone), 0u);
    EXPECT_EQ(res_bone_count(), 0);
    res_shutdown();
    EXPECT_EQ(std::pair(res_tex_count(), res_env_test_live_objects()), std::pair(0, 0));
    settings = {{"SZ_BUFF_BONE", std::to_string(bone.size() + 1)}};
    boot();
    EXPECT_EQ(res_tex_find("disp_res", "test_def"), 1u);
    EXPECT_EQ(res_bone_register("g", "root", bone), 1u);
}

TEST_F(ResTest, BoneTreeQueriesAndTheSaturatingMatrixStack)
{
    boot();
    ResHandle h = res_bone_register("g", "root", bones());
    ASSERT_EQ(h, 1u);
    EXPECT_EQ(std::pair(res_bone_named_count(h), res_bone_find("g", "root")), std::pair(4u, h));
    float m[16];
    ASSERT_TRUE(res_bone_node_matrix(h, "arm", m));
    EXPECT_FLOAT_EQ(m[12], 2.0f);
    // "leg_NRM" was stripped in the stored copy and its hash written.
    ASSERT_TRUE(res_bone_node_matrix(h, "leg", m));
    EXPECT_FALSE(res_bone_node_matrix(h, "leg_NRM", m) || res_bone_node_matrix(h, nullptr, m));
    ASSERT_TRUE(res_bone_node_world(h, "hand", m));
    EXPECT_EQ(std::pair(m[12], m[13]), std::pair(2.0f, 1.0f));  // root (0, 1, 0), arm (2, 0, 0)
    EXPECT_FALSE(res_bone_node_world(h, "nobody", m));
    EXPECT_EQ(res_mstack_depth(), 0);
    EXPECT_EQ(std::vector({res_bone_count_below(h, "root", 0), res_bone_count_below(h, "root", 1),
                           res_bone_count_below(h, "arm", 0), res_bone_count_below(h, "leg", 0)}),
              (std::vector<uint32_t>{3, 2, 1, 0}));
    EXPECT_STREQ(res_bone_name_below(h, "root", 1, 0), "hand");
    EXPECT_STREQ(res_bone_name_below(h, "root", 1, 1), "leg");
    EXPECT_EQ(res_bone_name_below(h, "root", 3, 0), nullptr);
    // A node right behind a push has no matrix of its own level.
    qvw::ChunkBuf b;
    for (uint32_t w : {3u, 1u, 0u, 0u, 4u, 5u}) b.put_u32(w);
    b.set_u32(8, b.put_name("kid"));
    ResHandle k = res_bone_register("g", "kid", b.data);
    ASSERT_NE(k, 0u);
    EXPECT_FALSE(res_bone_node_matrix(k, "kid", m));
    // Root: a quarter turn about z, raised by 1; the arm 2 along its x lands on the turned
    // axis, and its sibling leg (3 along z) takes nothing of the arm's offset.
    qvw::Mat16 root = qvw::mat_identity(), arm = qvw::mat_identity(), leg = qvw::mat_identity();
    root[0] = 0, root[1] = 1, root[4] = -1, root[5] = 0, root[13] = 1;
    arm[12] = 2;
    leg[14] = 3;
    qvw::BoneNode tree{"root", root, {{"arm", arm, {}}, {"leg", leg, {}}}};
    const ResHandle turned = res_bone_register("g", "turned", qvw::bone_chunk({tree}));
    ASSERT_TRUE(res_bone_node_world(turned, "arm", m));
    EXPECT_THAT(std::vector(m + 12, m + 15), Pointwise(FloatNear(1e-6f), {0.0f, 3.0f, 0.0f}));
    ASSERT_TRUE(res_bone_node_world(turned, "leg", m));
    EXPECT_THAT(std::vector(m + 12, m + 15), Pointwise(FloatNear(1e-6f), {0.0f, 1.0f, 3.0f}));
    EXPECT_EQ(res_mstack_below_top(), nullptr);
    for (int i = 0; i < 70; i++) res_mstack_push();
    EXPECT_EQ(res_mstack_depth(), 63);
    for (int i = 0; i < 70; i++) res_mstack_pop();
    EXPECT_EQ(res_mstack_depth(), 0);
    float t[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    res_mstack_load(t);
    res_mstack_push();
    res_mstack_mul(t);
    EXPECT_EQ(std::pair(res_mstack_top()[12], res_mstack_below_top()[12]), std::pair(10.0f, 5.0f));
    res_mstack_load(nullptr);
    EXPECT_EQ(std::pair(res_mstack_top()[12], res_mstack_top()[15]), std::pair(0.0f, 1.0f));
}

TEST_F(ResTest, EntryAccessorsAndQueriesOfEveryPool)
{
    open_every_kind();
    boot();
    EXPECT_STREQ(res_cat_get(1)->name, "disp_res");
    EXPECT_EQ(res_cat_get(1)->name_hash, name_hash("disp_res"));
    EXPECT_EQ(res_cat_get(2), nullptr);
    ResHandle mesh = add_mesh("g", qvw::sample_quad());
    EXPECT_STREQ(res_mesh_get(mesh)->group, "g");
    EXPECT_STREQ(res_mesh_get(mesh)->name, "quad");
    EXPECT_EQ(res_mesh_get(mesh + 1), nullptr);
    EXPECT_EQ(res_mesh_get_object(mesh)->lvf, disp_fvf_to_lvf(res_mesh_get_object(mesh)->fvf_decl));

    ResHandle bone = res_bone_register("g", "root", bones());
    EXPECT_EQ(res_bone_get(bone)->named_count, 4u);
    EXPECT_EQ(res_bone_get(bone)->data.data(), res_data(RES_BONE, bone).data());
    EXPECT_STREQ(res_bone_group(bone), "g");
    EXPECT_EQ(res_anime_get(bone), nullptr);  // no animation registered yet
    ResHandle anim = res_anime_register("g", "walk", walk());
    EXPECT_EQ(std::pair(res_anime_node_count(anim), res_anime_max_frame(anim)), std::pair(2u, 3u));
    EXPECT_STREQ(res_anime_node_name(anim, 1), "arm");
    EXPECT_EQ(res_anime_node_name(anim, 2), nullptr);
    EXPECT_EQ(res_anime_node_frame_count(anim, "arm"), 2u);
    const float* frames = res_anime_node_frames(anim, "arm");
    float m[16];
    ASSERT_TRUE(res_anime_node_frame(anim, "arm", 5, m));  // clamped to the last frame
    EXPECT_EQ(std::memcmp(frames + 16, m, sizeof m), 0);
    EXPECT_FALSE(res_anime_node_frame(anim, "leg", 0, m));
    EXPECT_EQ(res_anime_node_frames(anim, "nobody"), nullptr);
    EXPECT_EQ(res_anime_node_count(9), 0u);
    // A kind's release clears the entry in place; the mark release lowers the count.
    res_anime_release(anim);
    EXPECT_TRUE(res_anime_get(anim)->data.empty());
    EXPECT_EQ(res_anime_name(anim), nullptr);
    for (auto dump : {res_mesh_dump_names, res_tex_dump_names, res_crop_dump_names,
                      res_bone_dump_names, res_anime_dump_names, res_coll_dump_names,
                      res_shit_dump_names, res_caminfo_dump_names, res_flash_dump_names})
        dump();
    EXPECT_EQ(res_mesh_count_entries(), res_mesh_count());
    ResHandle h = res_coll_register("g", "floor", qvw::coll_chunk(qvw::sample_coll(1)));
    ASSERT_EQ(h, 1u);
    EXPECT_EQ(res_coll_nr_tris(h), 9u);
    ResCollTri t;
    ASSERT_TRUE(res_coll_get_tri(h, 0, &t));
    EXPECT_FLOAT_EQ(t.c[1][2], 0.0f);
    EXPECT_FLOAT_EQ(t.normal[1], 1.0f);
    EXPECT_FLOAT_EQ(t.centroid[0], (-1.0f - 1.0f + 0.0f) * 0.33333334f);
    EXPECT_EQ((std::array{res_coll_get_tri(h, 8, &t), res_coll_get_tri(h, 9, &t),
                          res_coll_get_tri(h, 0, nullptr)}),
              (std::array{true, false, false}));
    ResHandle s = res_shit_register("g", qvw::shit_chunk("spheres", qvw::sample_spheres()));
    ASSERT_EQ(s, 1u);
    EXPECT_FLOAT_EQ(res_shit_radius(s), 5.5f);
    EXPECT_STREQ(res_shit_name(s), "spheres");
    EXPECT_EQ(res_shit_find("g", "spheres"), s);
    ResHandle c = res_caminfo_register("g", "cam", qvw::camr_chunk(qvw::sample_camr()));
    ASSERT_EQ(c, 1u);
    uint32_t key[4];
    EXPECT_EQ(res_caminfo_sample(c, 0.0f, key), 1);
    std::vector<uint32_t> firsts;  // the first word of the key taken at each time
    for (float t : {0.0f, 1.0f, 0.5f, -4.0f, 40.0f, std::nanf("")}) {
        res_caminfo_sample(c, t, key);
        firsts.push_back(key[0]);
    }
    EXPECT_EQ(firsts, (std::vector<uint32_t>{1, 9, 5, 1, 9, 1}));  // clamped to the table
    EXPECT_EQ(res_caminfo_sample(0, 0, key), 0);
    qvw::CamrDesc none = qvw::sample_camr();
    none.name = "none";
    none.keys.clear();
    ResHandle n = res_caminfo_register("g", "none", qvw::camr_chunk(none));
    ASSERT_NE(n, 0u);
    EXPECT_EQ(res_caminfo_sample(n, 0.5f, key), 0);
}

namespace {
std::vector<uint32_t> g_lost;
void record_lost(ResTexInfo& t) { g_lost.push_back(t.id); }
}  // namespace

TEST_F(ResTest, DepthSurfacesAndDeviceReset)
{
    settings = {{"SZ_BUFF_DEPTH_STENCILNAME", "16"}};
    boot();
    uint32_t bytes = res_tex_bytes();
    ResHandle d = res_depth_register("g", "z/depth.surf", 8, 8, 0);  // under its stem
    ASSERT_EQ(d, 1u);
    EXPECT_STREQ(res_depth_name(d), "depth");
    EXPECT_EQ(std::tuple(res_depth_find("g", "depth"), res_depth_count(),
                         res_depth_get_surface(d)->width, res_tex_bytes()),
              std::tuple(d, 1, 8, bytes + 256));
    EXPECT_EQ(res_depth_register("g", "second", 8, 8, 0), 0u);  // one surface by default
    EXPECT_EQ(res_depth_resize(d, 4, 4, 0), 1);
    EXPECT_EQ(std::pair(res_tex_bytes(), res_depth_get(d)->width),
              std::pair(bytes + 64, uint16_t(4)));
    ResEnv env = res_env();
    env.tex_lost = record_lost;
    res_env_set(env);
    g_lost.clear();
    res_on_device_lost();
    std::vector<uint32_t> want;  // textures newest first, then the surface
    for (ResHandle t = res_tex_nrm(); t >= res_tex_test(); t--) want.push_back(res_tex_get(t)->id);
    want.push_back(res_depth_get(d)->id);
    EXPECT_EQ(g_lost, want);
    res_on_device_reset();
    res_depth_release(d);
    EXPECT_EQ(res_tex_bytes(), bytes);
}
