// The source tree's folders and a booted device with the shipped shader library.
#pragma once

#include <cstdlib>
#include <string>

#include "svc/txt_settings.h"
#include "disp/disp_fixture.h"
#include "disp/shader.h"
#include "temp_dir.h"

inline std::string source_dir()
{
    const char* d = std::getenv("QUORVEL_TEST_SOURCE_DIR");
    return d ? d : ".";
}
inline std::string shipped_shader_dir() { return source_dir() + "/data/sh/"; }
inline std::string fixture_dir() { return source_dir() + "/tests/shader/fixtures/"; }

// Loads a settings text naming the folder as SHADER_PATH.
inline void use_shader_folder(const TempDir& tmp, const std::string& folder, int dump = 0)
{
    std::string text =
        "SHADER_PATH " + folder + "\nOUTPUT_SHADER_SOURCE_TEXT " + std::to_string(dump) + "\n";
    txt_settings_load(tmp.write("QUORVEL.TXT", text).c_str());
}

// A booted device; Init loads the library from a folder, TearDown stops it.
class ShaderDeviceBase : public DispDevice {
protected:
    void Init(const std::string& folder, int dump = 0)
    {
        use_shader_folder(tmp_, folder, dump);
        shader_init();
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
