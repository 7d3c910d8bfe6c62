// util/data_err: the one line on standard error that a fatal data error writes
// before the fatal error screen, `<what> "<path>": <reason>`. The line is built
// as it reads and escaped whole when written (plat_log_line), so that one line
// stays one line whatever the names in it hold. Any thread.
#pragma once
#include <string>
#include <string_view>

// Why a data file that does not open is missing: the first folder on its way
// that is not there (with the current folder, for a relative path), or "no
// such file" when its folder is there.
std::string data_err_missing(std::string_view path);
// `<what> "<path>": <reason>`, the path in its native form.
std::string data_err_text(std::string_view what, std::string_view path, std::string_view reason);
// Writes the line, escaped, and a newline in one piece; an empty line writes nothing.
void data_err_write(const std::string& line);
