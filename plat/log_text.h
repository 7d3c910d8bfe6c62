// Texts written into log lines on standard error.
//
// Provides the one escape of names and texts that come from outside (a chosen
// path, a data file's name, a dialog's text): every control character (bytes
// below 0x20 and 0x7f) becomes "\n", "\r", "\t" or "\xNN", so that one log
// line stays one line whatever the name holds. Callers rely on every other
// byte staying as it is: a backslash is a character of a name here, and UTF-8
// passes unchanged.
#pragma once
#include <string>
#include <string_view>

std::string plat_log_escape(std::string_view text);
