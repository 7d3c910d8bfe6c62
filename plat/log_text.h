// Texts written into log lines on standard error.
//
// Provides the one escape of names and texts that come from outside (a chosen
// path, a data file's name, a dialog's text), so that one log line stays one
// line and no terminal takes a name for a command, whatever the name holds:
// - a C0 control (bytes below 0x20) or 0x7f becomes "\n", "\r", "\t" or
//   "\xNN";
// - a C1 control (U+0080..U+009F) written as UTF-8 (c2 80..c2 9f) becomes
//   "\u00NN", and a byte 0x80..0x9f that is no part of a well-formed UTF-8
//   sequence becomes "\xNN": some terminals take 0x9b alone for the start of
//   a control sequence.
// Callers rely on every other byte staying as it is: a backslash is a
// character of a name here, well-formed UTF-8 of any other character passes
// unchanged, and the other bytes of a malformed or cut sequence are kept.
//
// Every log line the program writes goes through plat_log_line: its text is
// formatted as printf does, then escaped whole, so a name from outside may be
// handed to it as it stands and cannot end the line or steer the terminal.
#pragma once
#include <cstdarg>
#include <string>
#include <string_view>

std::string plat_log_escape(std::string_view text);

// The line plat_log_line writes: the formatted text escaped, then a newline.
std::string plat_log_text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string plat_log_vtext(const char* format, va_list args);
// Writes one escaped line to standard error in a single write.
void plat_log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same for a line built beforehand; a zero byte in it is escaped too.
void plat_log_write(std::string_view text);
