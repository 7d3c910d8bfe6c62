// A booted resource manager on the default services, with settings chosen per
// test, and a scratch folder for data files.
#pragma once

#include "disp/mesh_buf.h"
#include "res/res.h"
#include "res/res_env.h"
#include "res/resload.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

class ResTest : public ::testing::Test {
protected:
    std::map<std::string, std::string> settings;
    std::filesystem::path dir;

    void boot()
    {
        res_env_set(res_env_defaults());
        res_env_test_clear_settings();
        for (const auto& [k, v] : settings) res_env_test_set_setting(k.c_str(), v.c_str());
        res_env_test_fatals().clear();
        res_env_test_set_frame_percent(0, 0);
        res_boot();
        resload_boot();
    }
    // Opens the pools that are closed by default: animations, sphere hits, camera paths and
    // vector animations.
    void open_every_kind()
    {
        for (const char* k :
             {"MAX_NR_ANIME", "MAX_NR_SPHERE_HIT", "MAX_NR_CAMERA_INFO", "MAX_NR_FLASH"})
            settings[k] = "4";
        for (const char* k :
             {"SZ_BUFF_ANIME", "SZ_BUFF_SPHERE_HIT", "SZ_BUFF_CAMERA_INFO", "SZ_BUFF_FLASH"})
            settings[k] = "8192";
        for (const char* k : {"SZ_BUFF_ANIMENAME", "SZ_BUFF_CAMERA_INFONAME", "SZ_BUFF_FLASHNAME"})
            settings[k] = "64";
    }
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("quorvel-res-" + std::to_string(std::random_device{}()) + "-" +
               info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override
    {
        resload_shutdown();
        res_shutdown();
        std::filesystem::remove_all(dir);
    }
    std::string folder(const std::string& sub)
    {
        std::filesystem::create_directories(dir / sub);
        return (dir / sub).string() + "/";
    }
    void write(const std::string& rel, const std::vector<uint8_t>& bytes)
    {
        std::filesystem::create_directories((dir / rel).parent_path());
        std::ofstream f(dir / rel, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    void write_text(const std::string& rel, const std::string& text)
    {
        write(rel, std::vector<uint8_t>(text.begin(), text.end()));
    }
};
