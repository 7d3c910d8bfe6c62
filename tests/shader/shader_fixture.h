// The source tree's folders and a booted device with the shipped shader library.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "svc/txt_settings.h"
#include "disp/disp_fixture.h"
#include "disp/shader.h"
#include "temp_dir.h"
#include "test_files.h"

inline std::string shipped_shader_dir() { return test_source_dir() + "/data/sh/"; }
inline std::string fixture_dir() { return test_source_dir() + "/tests/shader/fixtures/"; }

// A settings value ends at a blank and holds at most 126 characters, and a checkout
// may lie under a path that breaks either. So a test names a shader folder through a
// link "sh" in its own folder and starts the library while working there: the setting
// is "sh/" wherever the folder lies. Returns that settings line.
inline std::string shader_path_setting(const TempDir& tmp, const std::string& folder)
{
    namespace fs = std::filesystem;
    fs::remove(tmp.file("sh"));
    fs::create_directory_symlink(fs::absolute(folder), tmp.file("sh"));
    return "SHADER_PATH sh/\n";
}

// Starts the library from the test's own folder, where the setting's "sh/" leads.
inline void shader_init_in(const TempDir& tmp)
{
    const std::filesystem::path back = std::filesystem::current_path();
    std::filesystem::current_path(tmp.file(""));
    shader_init();
    std::filesystem::current_path(back);
}

// Loads a settings text naming the folder as SHADER_PATH.
inline void use_shader_folder(const TempDir& tmp, const std::string& folder, int dump = 0)
{
    const std::string text = shader_path_setting(tmp, folder) + "OUTPUT_SHADER_SOURCE_TEXT " +
                             std::to_string(dump) + "\n";
    txt_settings_load(tmp.write("QUORVEL.TXT", text).c_str());
}

// A booted device; Init loads the library from a folder, TearDown stops it.
class ShaderDeviceBase : public DispDevice {
protected:
    void Init(const std::string& folder, int dump = 0)
    {
        use_shader_folder(tmp_, folder, dump);
        shader_init_in(tmp_);
    }
    void TearDown() override
    {
        shader_term();
        txt_settings_term();
        DispDevice::TearDown();
    }
    TempDir tmp_;
};

// The library loaded from the shipped files.
class ShaderDevice : public ShaderDeviceBase {
protected:
    void SetUp() override
    {
        DispDevice::SetUp();
        if (HasFatalFailure()) return;
        Init(shipped_shader_dir());
    }
};
