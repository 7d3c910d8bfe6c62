// util/data_err: the line of a fatal data error (see data_err.h).
#include "util/data_err.h"

#include "plat/files.h"
#include "plat/log_text.h"

std::string data_err_missing(std::string_view path)
{
    const std::string native = plat_path_native(path);
    // A missing data folder shows as the folder, not as the file inside it.
    for (size_t slash = native.find('/', 1); slash != std::string::npos;
         slash = native.find('/', slash + 1)) {
        const std::string folder = native.substr(0, slash);
        if (folder == "." || folder == ".." || folder.ends_with("/.") || folder.ends_with("/..") ||
            plat_is_dir(folder))
            continue;
        std::string reason = "no folder \"" + folder + "\"";
        if (native[0] != '/') reason += " in \"" + plat_current_dir() + "\"";
        return reason;
    }
    return "no such file";
}

std::string data_err_text(std::string_view what, std::string_view path, std::string_view reason)
{
    std::string line(what);
    line += " \"";
    line += plat_path_native(path);
    line += "\": ";
    line += reason;
    return line;
}

void data_err_write(const std::string& line)
{
    if (!line.empty()) plat_log_write(line);
}
