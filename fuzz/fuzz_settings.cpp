// Fuzzes the settings text and the resource pools sized from it: every
// token read as a key answers a bounded value or none, and the pools boot
// and shut down within their ceilings whatever sizes the text asks for.
#include "svc/txt_settings.h"
#include "res/res.h"
#include "res/res_env.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace {

const std::string& path()
{
    static const std::string p = (std::filesystem::temp_directory_path() /
                                  ("quorvel-fuzz-settings-" + std::to_string(::getpid())))
                                     .string();
    return p;
}

void use_settings_text()
{
    static bool done = false;
    if (done) return;
    done = true;
    ResEnv env = res_env_defaults();
    env.get_int = [](const char* key, int def) { return int(txt_settings_get_int_or(key, def)); };
    res_env_set(env);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    use_settings_text();
    std::ofstream(path(), std::ios::binary).write(reinterpret_cast<const char*>(data), long(size));
    txt_settings_load(path().c_str());
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t at = 0;
    for (int n = 0; n < 2 * TXT_SETTINGS_MAX_ENTRIES && at < text.size(); ++n) {
        at = text.find_first_not_of(" \t\r\n", at);
        if (at == std::string_view::npos) break;
        const size_t end = std::min(text.find_first_of(" \t\r\n", at), text.size());
        const std::string key(text.substr(at, end - at));
        at = end;
        const char* v = txt_settings_get_string(key.c_str());
        if (v && (!*v || std::strlen(v) >= size_t(TXT_SETTINGS_FIELD_SIZE))) __builtin_trap();
        int32_t out = 1;
        if (!txt_settings_get_int(key.c_str(), &out) && out != 0) __builtin_trap();
    }
    res_boot();
    for (int p = 0; p < RES_POOL_COUNT; ++p)
        if (res_pool_capacity(p) > RES_POOL_ENTRIES_MAX) __builtin_trap();
    res_shutdown();
    return 0;
}
