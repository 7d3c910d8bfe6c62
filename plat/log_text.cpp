// The escape of names and texts in log lines (see log_text.h).
#include "plat/log_text.h"

std::string plat_log_escape(std::string_view text)
{
    static constexpr char PLAT_LOG_HEX[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            out += c;
            continue;
        }
        out += '\\';
        switch (c) {
        case '\n': out += 'n'; break;
        case '\r': out += 'r'; break;
        case '\t': out += 't'; break;
        default:
            out += 'x';
            out += PLAT_LOG_HEX[byte >> 4];
            out += PLAT_LOG_HEX[byte & 15];
        }
    }
    return out;
}
