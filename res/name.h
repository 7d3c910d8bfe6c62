// Name and path helpers and the name hash. Every resource, bone and animation
// node is compared by `NameHash` before a byte compare; names are file stems
// with optional "_NRM" / "_SPC" tokens that become flags. Main thread only;
// nothing here allocates.
//
// Every helper that writes takes its output as a span and never writes past
// it: when the result does not fit, the output holds the empty string and the
// helper answers 0.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

using NameHash = uint32_t;

// Flag bits of the suffix tokens.
constexpr uint32_t NAME_FLAG_NRM = 1u << 0;
constexpr uint32_t NAME_FLAG_SPC = 1u << 1;

// The CRC-32 register (polynomial 0x04C11DB7) fed with the low six bits of
// every byte, lowest bit first; 0 for null and the empty string.
NameHash name_hash(const char* s);
NameHash name_hash_sv(std::string_view s);
// The hash of the lower-case (A-Z only) form; any length.
NameHash name_hash_lower(const char* s);

// Case-insensitive compare: 0 when equal ignoring A-Z case, else the difference
// of the original bytes where they first differ. Null counts as "".
int name_icmp(const char* a, const char* b);

int name_lower_copy(std::span<char> out, const char* s);
// The folder part without its last separator ('\' or '/').
int name_dir_part(std::span<char> out, const char* path);
// The file name without folder and from its first '.' on.
int name_file_stem(std::span<char> out, const char* path);
// The file name without folder, extension kept.
int name_file_with_ext(std::span<char> out, const char* path);
// "a_" + token as a whole underscore-separated part of the name (case-sensitive).
bool name_has_token(const char* name, const char* token);
// The name up to its first underscore, then "_" and the suffix.
int name_replace_suffix(std::span<char> out, const char* name, const char* suffix);
// a + "_" + b; a null a gives "".
int name_join(std::span<char> out, const char* a, const char* b);
// Removes the "NRM" and "SPC" tokens (each with its underscore) and answers the
// flag bits found; out may be the name's own buffer. -1 when out is too small
// (out then holds "").
int name_strip_variant(std::span<char> out, const char* name);
// The first occurrence of part in text, null when absent.
const char* name_contains(const char* text, const char* part);
