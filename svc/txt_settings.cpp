// The settings text's reader and its lookups by key (syntax and limits in txt_settings.h).
#include "svc/txt_settings.h"
#include "svc/txt_settings_local.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "plat/files.h"

namespace {

struct TxtSetting {
    char key[TXT_SETTINGS_FIELD_SIZE];
    char value[TXT_SETTINGS_FIELD_SIZE];
};

// Filled from index 0 in file order; read-only after loading.
std::array<TxtSetting, TXT_SETTINGS_MAX_ENTRIES> g_settings;

constexpr int TXT_SETTINGS_CTRL_Z = 26;            // text-mode end of file
constexpr int TXT_SETTINGS_COMMENT_END_FF = 0xFF;  // a byte that reads like the end of file

enum class TokenResult { TOKEN, END_OF_TEXT, TOO_LONG };

// The file's bytes, read one at a time as a stream would give them.
struct TextIn {
    const uint8_t* at;
    const uint8_t* end;
    int get() { return at < end ? *at++ : EOF; }
    void unget() { --at; }  // only right after a get that gave a byte
};

bool is_separator(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the next whitespace-delimited token into `buf` (NUL-terminated). The
// character that ended the token is left unread, so a comment started by the
// token still sees the end of its line.
TokenResult read_token(TextIn& f, std::array<char, TXT_SETTINGS_MAX_TOKEN>& buf)
{
    int c;
    do {
        c = f.get();
    } while (c != EOF && is_separator(c));
    if (c == EOF || c == TXT_SETTINGS_CTRL_Z) return TokenResult::END_OF_TEXT;
    size_t n = 0;
    while (c != EOF && c != TXT_SETTINGS_CTRL_Z && !is_separator(c)) {
        if (n + 1 >= buf.size()) return TokenResult::TOO_LONG;
        buf[n++] = char(c);
        c = f.get();
    }
    if (c != EOF) f.unget();
    buf[n] = '\0';
    // Lengths count up to the first NUL, as the stored strings will.
    if (std::strlen(buf.data()) >= TXT_SETTINGS_MAX_TOKEN) return TokenResult::TOO_LONG;
    return TokenResult::TOKEN;
}

void skip_comment(TextIn& f)
{
    for (;;) {
        int c = f.get();
        if (c == TXT_SETTINGS_CTRL_Z) {
            f.unget();  // still the end of the file for the next token
            return;
        }
        if (c == EOF || c == 0 || c == '\r' || c == '\n' || c == TXT_SETTINGS_COMMENT_END_FF)
            return;
    }
}

// Copies a key or value; 0 when it does not fit the 128-byte field with
// room to spare (127 characters or more end the reading).
int copy_field(char (&field)[TXT_SETTINGS_FIELD_SIZE], const char* text)
{
    size_t n = std::strlen(text);
    if (n >= TXT_SETTINGS_FIELD_SIZE - 1) return 0;
    std::memcpy(field, text, n + 1);
    return 1;
}

void read_pairs(TextIn& f)
{
    std::array<char, TXT_SETTINGS_MAX_TOKEN> token{};
    int count = 0;
    while (count < TXT_SETTINGS_MAX_ENTRIES) {
        if (read_token(f, token) != TokenResult::TOKEN) return;
        if (token[0] == '#') {
            skip_comment(f);
            continue;
        }
        TxtSetting& entry = g_settings[size_t(count)];
        if (!copy_field(entry.key, token.data())) {
            entry.key[0] = '\0';
            return;
        }
        // A key without its value is not stored.
        if (read_token(f, token) != TokenResult::TOKEN || !copy_field(entry.value, token.data())) {
            entry.key[0] = '\0';
            entry.value[0] = '\0';
            return;
        }
        ++count;
    }
}

}  // namespace

void txt_settings_load(const char* file_name)
{
    for (TxtSetting& s : g_settings) {
        s.key[0] = '\0';
        s.value[0] = '\0';
    }
    std::vector<uint8_t> bytes;
    if (!file_name || !plat_read_data_file(file_name, PLAT_DATA_FILE_MAX, &bytes, nullptr)) return;
    TextIn in{bytes.data(), bytes.data() + bytes.size()};
    read_pairs(in);
}

void txt_settings_term() {}

const char* txt_settings_get_string(const char* key)
{
    if (!key) return nullptr;
    for (const TxtSetting& s : g_settings) {
        if (s.key[0] == '\0' || s.value[0] == '\0') continue;
        if (std::strcmp(s.key, key) == 0) return s.value;
    }
    return nullptr;
}

int32_t txt_settings_parse_int(const char* value)
{
    // Unsigned arithmetic gives the 32-bit wrap-around without overflow.
    uint32_t result = 0;
    bool negative = false;
    for (const char* p = value; p && *p; ++p) {
        if (*p == '-') {
            negative = true;
            continue;
        }
        result = result * 10u + uint32_t(int32_t(static_cast<signed char>(*p)) - '0');
    }
    return int32_t(negative ? 0u - result : result);
}

int txt_settings_get_int(const char* key, int32_t* out)
{
    if (out) *out = 0;
    const char* value = txt_settings_get_string(key);
    if (!value) return 0;
    if (out) *out = txt_settings_parse_int(value);
    return 1;
}

int32_t txt_settings_get_int_or(const char* key, int32_t fallback)
{
    int32_t v = 0;
    return txt_settings_get_int(key, &v) ? v : fallback;
}
