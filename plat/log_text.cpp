// The escape of names and texts in log lines (see log_text.h).
#include "plat/log_text.h"

#include <cstddef>
#include <cstdio>
#include <vector>

namespace {

// The lead bytes of well-formed UTF-8 sequences of two to four bytes, with
// the range their second byte must lie in: narrower than 0x80..0xbf where a
// wider one would allow an overlong form, a surrogate or a code point past
// U+10FFFF. Every later byte is 0x80..0xbf.
struct Utf8Lead {
    unsigned char first, last;
    size_t length;
    unsigned char second_min, second_max;
};
constexpr Utf8Lead PLAT_UTF8_LEADS[] = {{0xc2, 0xdf, 2, 0x80, 0xbf}, {0xe0, 0xe0, 3, 0xa0, 0xbf},
                                        {0xe1, 0xec, 3, 0x80, 0xbf}, {0xed, 0xed, 3, 0x80, 0x9f},
                                        {0xee, 0xef, 3, 0x80, 0xbf}, {0xf0, 0xf0, 4, 0x90, 0xbf},
                                        {0xf1, 0xf3, 4, 0x80, 0xbf}, {0xf4, 0xf4, 4, 0x80, 0x8f}};

unsigned char byte_at(std::string_view text, size_t at)
{
    return static_cast<unsigned char>(text[at]);
}

// The length of the well-formed UTF-8 sequence of two or more bytes that
// starts at text[at], or 0 when none starts there.
size_t utf8_sequence_length(std::string_view text, size_t at)
{
    const unsigned char lead = byte_at(text, at);
    for (const Utf8Lead& l : PLAT_UTF8_LEADS) {
        if (lead < l.first || lead > l.last) continue;
        if (text.size() - at < l.length) return 0;
        const unsigned char second = byte_at(text, at + 1);
        if (second < l.second_min || second > l.second_max) return 0;
        for (size_t i = 2; i < l.length; ++i)
            if ((byte_at(text, at + i) & 0xc0) != 0x80) return 0;
        return l.length;
    }
    return 0;
}

void append_hex(std::string& out, const char* escape, unsigned char byte)
{
    static constexpr char PLAT_LOG_HEX[] = "0123456789abcdef";
    out += escape;
    out += PLAT_LOG_HEX[byte >> 4];
    out += PLAT_LOG_HEX[byte & 15];
}

// One byte that starts no well-formed sequence of several bytes.
void append_single_byte(std::string& out, unsigned char byte)
{
    switch (byte) {
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    }
    const bool control = byte < 0x20 || byte == 0x7f || (byte >= 0x80 && byte <= 0x9f);
    if (control)
        append_hex(out, "\\x", byte);
    else
        out += static_cast<char>(byte);
}

}  // namespace

std::string plat_log_escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = utf8_sequence_length(text, at);
        if (length == 0) {
            append_single_byte(out, byte_at(text, at));
            ++at;
            continue;
        }
        // c2 80..c2 9f are U+0080..U+009F, the code point being the second byte.
        const unsigned char second = byte_at(text, at + 1);
        if (byte_at(text, at) == 0xc2 && second <= 0x9f)
            append_hex(out, "\\u00", second);
        else
            out.append(text.substr(at, length));
        at += length;
    }
    return out;
}

std::string plat_log_vtext(const char* format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) return "(a log line that could not be formatted)\n";
    std::vector<char> text(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    return plat_log_escape(std::string_view(text.data(), static_cast<size_t>(length))) + '\n';
}

std::string plat_log_text(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string line = plat_log_vtext(format, args);
    va_end(args);
    return line;
}

namespace {

void write_line(const std::string& line) { std::fwrite(line.data(), 1, line.size(), stderr); }

}  // namespace

void plat_log_line(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string line = plat_log_vtext(format, args);
    va_end(args);
    write_line(line);
}

void plat_log_write(std::string_view text) { write_line(plat_log_escape(text) + '\n'); }
