// The load queue, the step machine, the pump on a manual clock and the folders.
#include "res_fixture.h"
#include "res/resload_local.h"

#include "plat/byte_order.h"
#include "plat/files.h"

#include <algorithm>
#include <fstream>

namespace {

using qvw::Bytes;

Bytes quad_file()
{
    return group_of({{qvw::MAGIC_TEX,
                      qvw::tex_chunk("quad.png", qvw::png_checker(8, 8, 0xFF000000, 0xFFFFFFFF))},
                     {qvw::MAGIC_MODEL, model_bytes(qvw::sample_quad())},
                     {qvw::MAGIC_CROP, qvw::crop_chunk({{"c", "quad.png", 0, 0, 0.5f, 0.5f}})}});
}

}  // namespace

class LoadTest : public ResTest {
protected:
    void SetUp() override
    {
        settings = {{"MODEL_DATA_PATH", folder("grp")},
                    {"MODEL_DATA_PATHE", folder("grpe")},
                    {"MODEL_DATA_PATHC", folder("grpc")},
                    {"TEX_DATA_PATH", folder("texture")}};
    }
    std::vector<ResFatal>& fatals() { return res_env_test_fatals(); }
};

TEST_F(LoadTest, RequestRing)
{
    boot();
    EXPECT_FALSE(resload_request(nullptr, 0));
    EXPECT_TRUE(resload_request(std::string(63, 'a').c_str(), 0));
    EXPECT_FALSE(resload_request(std::string(64, 'a').c_str(), 0));
    EXPECT_TRUE(resload_request("dup", 0));
    EXPECT_TRUE(resload_request("dup", 0));  // pending already: no new slot
    EXPECT_EQ(resload_pending(), 2u);
    for (int i = 0; i < 62; i++) EXPECT_TRUE(resload_request(("n" + std::to_string(i)).c_str(), 0));
    EXPECT_EQ(resload_pending(), 64u);
    EXPECT_FALSE(resload_request("one-too-many", 0));
    EXPECT_FALSE(resload_request("dup", 0));  // a full ring answers no, even for a pending name
    const char* list[] = {"x", "y"};
    EXPECT_FALSE(resload_request_list(list, 2, 0));
    // Draining (every file is missing) restarts the counters at the next request.
    drain();
    EXPECT_EQ(resload_pending(), 0u);
    EXPECT_EQ(fatals().size(), 64u);
    EXPECT_TRUE(resload_request("after", 0));
    EXPECT_EQ(resload_pending(), 1u);
    EXPECT_EQ(resload_progress(), 0.0f + 1.0f / 1.0f);  // R 0 of W 1, no file size yet
}

TEST_F(LoadTest, GroupFileLoadsOneChunkPerStep)
{
    write("grp/quad.bin", quad_file());
    boot();
    static size_t largest = 0;
    ResEnv env = res_env();
    env.file_read = [](void* f, uint8_t* dst, size_t n) {
        largest = std::max(largest, n);
        return res_env_defaults().file_read(f, dst, n);
    };
    res_env_set(env);
    ASSERT_TRUE(resload_request("quad", 0));
    EXPECT_EQ(resload_step(), RESLOAD_CONTINUE);  // take the request
    EXPECT_EQ(res_tex_count(), 7);
    EXPECT_EQ(resload_step(), RESLOAD_CONTINUE);  // open, and the first chunk
    EXPECT_EQ(res_tex_count(), 8);
    EXPECT_EQ(resload_step(), RESLOAD_CONTINUE);  // the model
    EXPECT_EQ(res_mesh_count(), 1);
    EXPECT_EQ(resload_step(), RESLOAD_CONTINUE);  // the crops
    EXPECT_EQ(resload_step(), RESLOAD_CONTINUE);  // end of the file
    EXPECT_EQ(resload_step(), RESLOAD_CONTINUE);  // finish
    EXPECT_EQ(resload_step(), RESLOAD_IDLE);      // drained: textures bound
    EXPECT_TRUE(fatals().empty());
    EXPECT_TRUE(resload_group_loaded("quad"));
    ResHandle mesh = res_mesh_find("quad", "quad");
    ASSERT_NE(mesh, 0u);
    EXPECT_EQ(res_mesh_get_object(mesh)->subsets[0].slot_tex[0], res_tex_find("quad", "quad"));
    EXPECT_EQ(res_crop_get(res_crop_find("quad", "c"))->tex, res_tex_find("quad", "quad"));
    EXPECT_EQ(resload_get_status(), RESLOAD_IDLE);
    EXPECT_LT(largest, quad_file().size() - 24);
}

// A read that fails between two chunks is not the file's end: the load is fatal, as a failure
// inside a chunk is, and the file layer's own line is all that is said.
TEST_F(LoadTest, AReadFailureBetweenChunksIsNotTheEndOfTheFile)
{
    const Bytes file = quad_file();
    write("grp/quad.bin", file);
    boot();
    static size_t delivered, first_chunk;
    delivered = 0;
    first_chunk = CHUNK_HEADER_SIZE + size_t(plat_le_get32(&file[8]));
    ResEnv env = res_env();
    env.file_read = [](void* f, uint8_t* dst, size_t n) -> size_t {
        if (delivered >= first_chunk) return 0;  // the disk fails past the first chunk
        const size_t got =
            res_env_defaults().file_read(f, dst, std::min(n, first_chunk - delivered));
        delivered += got;
        return got;
    };
    res_env_set(env);
    ASSERT_TRUE(resload_request("quad", 0));
    for (int i = 0; i < 8 && resload_get_status() != RESLOAD_FATAL; ++i) resload_step();
    EXPECT_EQ(resload_get_status(), RESLOAD_FATAL);
    ASSERT_EQ(fatals().size(), 1u);
    EXPECT_EQ(fatals()[0].line, "");
}

TEST_F(LoadTest, PumpRunsWithinItsShareOfTheFrameUnknownStepsAreReportedOnce)
{
    write("grp/quad.bin", quad_file());
    boot();
    resload_request("quad", 0);
    // The frame is already used up: one step per call, never none.
    res_env_test_set_frame_percent(95.0f, 0.0f);
    EXPECT_EQ(resload_pump(90.0f), RESLOAD_CONTINUE);
    EXPECT_EQ(res_tex_count(), 7);
    EXPECT_EQ(resload_pump(90.0f), RESLOAD_CONTINUE);
    EXPECT_EQ(res_tex_count(), 8);
    // Each clock reading advances 40 percent: steps run while below 90.
    res_env_test_set_frame_percent(0.0f, 40.0f);
    EXPECT_EQ(resload_pump(90.0f), RESLOAD_CONTINUE);  // 3 steps: at 0, 40, 80
    EXPECT_EQ(resload_get_step(), 1);
    // With time to spare it runs until idle.
    res_env_test_set_frame_percent(0.0f, 0.0f);
    EXPECT_EQ(resload_pump(90.0f), RESLOAD_IDLE);
    EXPECT_EQ(resload_progress(), 1.0f);
    resload_set_step(42);
    EXPECT_EQ(resload_step(), RESLOAD_FATAL);
    ASSERT_EQ(fatals().size(), 1u);
    EXPECT_EQ(fatals()[0].text, "0000002a");
    EXPECT_EQ(resload_step(), RESLOAD_IDLE);
}

TEST_F(LoadTest, FolderSearchOrder)
{
    Bytes a = group_of({{qvw::MAGIC_CROP, qvw::crop_chunk({{"from_grp", "t", 0, 0, 1, 1}})}});
    Bytes b = group_of({{qvw::MAGIC_CROP, qvw::crop_chunk({{"from_grpe", "t", 0, 0, 1, 1}})}});
    write("grp/g.bin", a);
    write("grpe/g.bin", b);
    boot();
    EXPECT_EQ(resload_language(), 1);  // "golng" absent
    EXPECT_EQ(resload_folder_order(0), 1);
    EXPECT_EQ(resload_folder_order(2), 0);
    EXPECT_EQ(resload_file_exists("g"), 1);
    EXPECT_EQ(resload_file_exists("h"), 0);
    resload_request("g", 0);
    drain();
    EXPECT_NE(res_crop_find("g", "from_grpe"), 0u);
    EXPECT_EQ(res_crop_find("g", "from_grp"), 0u);

    ResMark m;
    res_mark(m);
    resload_set_language(0);
    EXPECT_EQ(resload_folder_order(0), 0);
    resload_request("g", 0);  // already a group: skipped
    drain();
    EXPECT_EQ(res_crop_count(), 1);
}

TEST_F(LoadTest, FolderValuesAndDefaults)
{
    settings["MODEL_DATA_PATHC"] = std::string(256, 'x');
    settings.erase("MODEL_DATA_PATH");
    boot();
    EXPECT_STREQ(resload_model_folder(0), ".\\data\\grp\\");
    EXPECT_STREQ(resload_model_folder(2), "");  // 256 characters: not taken
    resload_set_model_folder(2, nullptr);
    EXPECT_STREQ(resload_model_folder(2), ".\\");
    EXPECT_EQ(resload_model_folder(3), nullptr);
}

TEST_F(LoadTest, ErrorsReportAndGiveUpTheRequest)
{
    Bytes good = quad_file();
    write("grp/short_header.bin", Bytes(good.begin(), good.begin() + 5));
    write("grp/short_data.bin", Bytes(good.begin(), good.begin() + 40));
    Bytes magic = good;
    magic[0] = 'A', magic[1] = 'B', magic[2] = 'C', magic[3] = 'D';
    write("grp/magic.bin", magic);
    const Bytes m = model_bytes(qvw::sample_quad());
    Bytes version;
    qvw::file_add_chunk(version, qvw::MAGIC_MODEL, 0x01000000, m);
    qvw::file_add_chunk(version, qvw::MAGIC_CROP, qvw::crop_chunk({{"after", "t", 0, 0, 1, 1}}));
    write("grp/version.bin", version);
    Bytes bad = m;
    bad[7] = 0x7F;  // name offset far past the end
    write("grp/badmodel.bin", group_of({{qvw::MAGIC_MODEL, bad}}));
    Bytes bad_version;
    qvw::file_add_chunk(bad_version, qvw::MAGIC_MODEL, 0x01000000, bad);
    write("grp/badversion.bin", bad_version);
    // A size of 4 GB in a small file: refused before anything is allocated.
    Bytes huge = group_of({{qvw::MAGIC_TEX, {}}});
    huge[8] = huge[9] = huge[10] = huge[11] = 0xFF;
    write("grp/huge.bin", huge);
    write("grp/ok.bin", quad_file());
    boot();
    ResMark start;
    res_mark(start);

    // Each fatal error comes with its one line: the file and why it cannot go on.
    const std::string grp = folder("grp"), head = "res: group not loaded \"" + grp;
    const uint32_t tex_size = plat_le_get32(&good[8]);
    struct Case {
        const char* name;
        int result, status;
        uint16_t detail;
        std::string line;
    };
    const Case cases[] = {
        {"missing", RESLOAD_OPEN_FAILED, RESLOAD_OPEN_FAILED, 1,
         "res: group not loaded \"missing.bin\": not in \"" + folder("grpe") + "\", \"" +
             folder("grpc") + "\" or \"" + grp + "\""},
        {"short_header", RESLOAD_FATAL, RESLOAD_FATAL, 2,
         head + "short_header.bin\": ends inside a chunk header at byte 0"},
        {"short_data", RESLOAD_FATAL, RESLOAD_FATAL, 3,
         head + "short_data.bin\": chunk \"TEX \" at byte 0 announces " + std::to_string(tex_size) +
             " bytes, but the file holds 28 more"},
        {"magic", RESLOAD_BAD_MAGIC, RESLOAD_BAD_MAGIC, 22,
         head + "magic.bin\": chunk \"ABCD\" at byte 0 (44434241) is of no known kind"},
        {"huge", RESLOAD_FATAL, RESLOAD_FATAL, 3,
         head + "huge.bin\": chunk \"TEX \" at byte 0 announces 4294967295 bytes, but the file "
                "holds 0 more"}};
    for (const Case& c : cases) {
        fatals().clear();
        ASSERT_TRUE(resload_request(c.name, 0));
        resload_request("ok", 0);
        int r, n = 0;
        while ((r = resload_step()) == RESLOAD_CONTINUE && n++ < 100) {}
        EXPECT_EQ(r, c.result) << c.name;
        ASSERT_EQ(fatals().size(), 1u) << c.name;
        EXPECT_EQ(fatals()[0].code, RESLOAD_FATAL_CODE);
        EXPECT_EQ(fatals()[0].detail, c.detail) << c.name;
        EXPECT_EQ(fatals()[0].line, c.line);
        // The request is given up and the machine goes on with the next one.
        EXPECT_EQ(resload_get_status(), c.status) << c.name;
        EXPECT_EQ(resload_get_step(), 1) << c.name;
        drain();
        EXPECT_EQ(fatals().size(), 1u) << c.name;
        EXPECT_TRUE(resload_group_loaded("ok")) << c.name;
        if (c.detail == 22) {
            EXPECT_EQ(fatals()[0].text, "magic/ABCD/44434241");
        }
        res_release_to_mark(start);
    }

    // Errors inside a chunk: each reported once (detail and text), the file goes on.
    auto reports = [this](const char* name) {
        fatals().clear();
        resload_request(name, 0);
        drain();
        std::vector<std::string> got;
        for (const ResFatal& f : fatals())
            got.push_back(std::to_string(f.detail) + " " + f.text + " | " + f.line);
        return got;
    };
    using Reports = std::vector<std::string>;
    const std::string version_line =
        "\": chunk \"ZQT \" at byte 0 has version 01000000, not 02000000";
    const std::string rejected = "\": chunk \"ZQT \" at byte 0 rejected: ";
    EXPECT_EQ(reports("version"),
              Reports{"4 version/01000000/02000000 | " + head + "version.bin" + version_line});
    EXPECT_EQ(res_mesh_count(), 1);                    // the chunk was still read,
    EXPECT_NE(res_crop_find("version", "after"), 0u);  // and the rest
    EXPECT_EQ(reports("badmodel"), Reports{"5 badmodel | " + head + "badmodel.bin" + rejected +
                                           chunk_err_text(CHUNK_ERR_NAME)});
    // Another version that does not fit either: both are reported, nothing kept.
    EXPECT_EQ(reports("badversion"),
              (Reports{"4 badversion/01000000/02000000 | " + head + "badversion.bin" + version_line,
                       "5 badversion | " + head + "badversion.bin" + rejected +
                           chunk_err_text(CHUNK_ERR_NAME)}));
    EXPECT_EQ(res_mesh_count(), 1);
}

TEST_F(LoadTest, EveryKindLoadsFromOneFile)
{
    open_every_kind();
    write("grp/all.bin", qvw::sample_group_file());
    boot();
    resload_request("all", RES_LOAD_SMOOTH_SET);
    drain();
    EXPECT_TRUE(fatals().empty()) << (fatals().empty() ? "" : fatals()[0].text);
    EXPECT_EQ(res_mesh_count(), 3);
    EXPECT_EQ(res_mesh_flags(res_mesh_find("all", "skin")), NAME_FLAG_NRM);
    // Position 0x2, normal 0x10, two sets 0x200, the second (smoothed normals) 3 floats 0x40000.
    EXPECT_EQ(res_mesh_get_object(res_mesh_find("all", "quad"))->fvf, 0x40212u);
    const std::pair<int, const char*> named[] = {{RES_BONE, "root"},  {RES_ANIME, "walk"},
                                                 {RES_COLL, "floor"}, {RES_SHIT, "spheres"},
                                                 {RES_CAM, "cam"},    {RES_FLASH, "movie"}};
    for (const auto& [kind, name] : named) EXPECT_NE(res_find(kind, "all", name), 0u) << name;
    EXPECT_EQ(res_crop_count(), 2);
    EXPECT_EQ(crop_of(res_crop_find("all", "c1")).tex, res_tex_find("all", "quad"));
}

// Five 64 x 64 images of one category (16384 bytes each as made) under a
// budget of three: the first three load, the rest are skipped with a line, and
// a release gives the budget back.
TEST_F(LoadTest, TexturesPastTheBudgetAreSkippedUntilAReleaseGivesItBack)
{
    settings["SZ_BUFF_TEX_PIXEL"] = "49152";
    const Bytes png = qvw::png_checker(64, 64, 0xFF000000, 0xFFFFFFFF);
    std::string lst = "cat big\n";
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        write(std::string("texture/") + name + ".png", png);
        lst += std::string("tex ") + name + ".png\n";
    }
    dir.write("texture/tex.lst", lst);
    boot();
    ResMark before;
    res_mark(before);
    for (int round = 0; round < 2; ++round) {
        testing::internal::CaptureStderr();
        ASSERT_TRUE(resload_request("big", 0));
        ASSERT_TRUE(drain());
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(fatals().empty());
        for (const char* name : {"a", "b", "c"}) EXPECT_NE(res_tex_find("big", name), 0u) << name;
        for (const char* name : {"d", "e"}) {
            EXPECT_EQ(res_tex_find("big", name), 0u) << name;
            const std::string line = "res: texture \"" + dir.file("texture/") + name +
                                     ".png\" skipped: its 16384 bytes pass the texture budget "
                                     "(SZ_BUFF_TEX_PIXEL 49152, 49152 in use)\n";
            EXPECT_NE(log.find(line), std::string::npos) << log;
        }
        EXPECT_EQ(log.find("a.png"), std::string::npos) << log;
        EXPECT_EQ(res_tex_held_bytes(), 49152u);
        EXPECT_EQ(res_tex_budget_refusals(), 2u * (round + 1));
        // Textures made empty hold no image: neither counted nor refused.
        EXPECT_NE(res_tex_create("big", "canvas", 64, 64, 0, false), 0u);
        EXPECT_EQ(res_tex_held_bytes(), 49152u);
        res_release_to_mark(before);
        EXPECT_EQ(res_tex_held_bytes(), 0u);
    }
    // A mipmapped texture counts its whole chain: 64 x 64 down to 1 x 1.
    EXPECT_NE(res_tex_load_mem("g", "m.png", png.data(), uint32_t(png.size()), true), 0u);
    EXPECT_EQ(res_tex_held_bytes(), (4096u + 1024 + 256 + 64 + 16 + 4 + 1) * 4);
}

// A texture chunk past the budget is skipped like a listed one: the group's
// models load on, without the fatal error screen.
TEST_F(LoadTest, ATextureChunkPastTheBudgetIsSkippedAndItsGroupLoads)
{
    settings["SZ_BUFF_TEX_PIXEL"] = "100";
    write("grp/quad.bin", quad_file());
    boot();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(resload_request("quad", 0));
    ASSERT_TRUE(drain());
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(fatals().empty()) << (fatals().empty() ? "" : fatals()[0].text);
    EXPECT_NE(res_mesh_find("quad", "quad"), 0u);
    EXPECT_EQ(res_tex_find("quad", "quad"), 0u);
    EXPECT_NE(log.find("res: texture \"quad.png\" skipped: its 256 bytes pass the texture budget "
                       "(SZ_BUFF_TEX_PIXEL 100, 0 in use)"),
              std::string::npos)
        << log;
}

// A chunk the resource manager refuses: the line names the limit that was met and the key
// that raises it, or the image that did not decode; a zero byte in a magic does not end it
// (its writer escapes the rest); a file the file layer refused has that layer's line and no
// second one.
TEST_F(LoadTest, ARefusedChunkSaysWhichLimitItMetAndTheKeyThatRaisesIt)
{
    settings["MAX_NR_CAT"] = "2";  // "disp_res" and one group
    write("grp/a.bin", quad_file());
    write("grp/b.bin", quad_file());
    write("grp/walk.bin", group_of({{qvw::MAGIC_ANIME, qvw::anime_chunk(qvw::sample_anime())}}));
    write("grp/broken.bin", group_of({{qvw::MAGIC_TEX, qvw::tex_chunk("x.png", {1, 2, 3})}}));
    Bytes magic = quad_file();
    magic[0] = '\n';
    magic[1] = 0x1b;
    magic[2] = 0;
    write("grp/bad\nname.bin", magic);
    const std::string oversized = folder("grp") + "big.bin";
    std::ofstream(oversized).close();
    std::filesystem::resize_file(oversized, PLAT_DATA_FILE_MAX + 1);  // sparse: costs no disk
    boot();
    ResMark start;
    res_mark(start);
    const std::string head = "res: group not loaded \"" + folder("grp");
    auto load = [this](const char* name) {
        fatals().clear();
        resload_request(name, 0);
        drain();
        return fatals().empty() ? std::string("none") : fatals()[0].line;
    };
    EXPECT_EQ(load("a"), "none");
    EXPECT_EQ(load("b"), head + "b.bin\": chunk \"TEX \" at byte 0 not registered: no room in the "
                                "CAT pool (2 entries); MAX_NR_CAT in the settings text raises it");
    EXPECT_EQ(fatals().size(), 1u);  // the model and the crops of b drop silently
    const std::pair<const char*, std::string> rows[] = {
        {"walk", head + "walk.bin\": chunk \"ANIM\" at byte 0 not registered: no room in the "
                        "ANIME data buffer (1 byte); SZ_BUFF_ANIME in the settings text raises it"},
        {"broken", head + "broken.bin\": chunk \"TEX \" at byte 0 not registered: its image is "
                          "broken, of an unknown kind, or too large to decode"},
        {"bad\nname", head + "bad\nname.bin\": chunk \"\n\x1b" + '\0' +
                             " \" at byte 0 (20001b0a) is of no known kind"},
    };
    for (const auto& [name, line] : rows) {
        res_release_to_mark(start);  // room for one group again
        EXPECT_EQ(load(name), line);
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(load("big"), "");
    EXPECT_EQ(fatals()[0].detail, RESLOAD_ERR_OPEN);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "file: not read \"" + oversized + "\": " + std::to_string(PLAT_DATA_FILE_MAX + 1) +
                  " bytes, over the limit of " + std::to_string(PLAT_DATA_FILE_MAX) + "\n");
}
