// util/data_err: the one line on standard error that a fatal data error writes
// before the fatal error screen, `<what> "<path>": <reason>`, with the path's
// control characters escaped (plat_log_escape) so that one line stays one
// line. Any thread.
#pragma once
#include <string>
#include <string_view>

// Why a data file that does not open is missing: the first folder on its way
// that is not there (with the current folder, for a relative path), or "no
// such file" when its folder is there.
std::string data_err_missing(std::string_view path);
// `<what> "<path>": <reason>`, the path in its native form and escaped.
std::string data_err_text(std::string_view what, std::string_view path, std::string_view reason);
// Writes the line and a newline in one piece; an empty line writes nothing.
void data_err_write(std::string_view line);
