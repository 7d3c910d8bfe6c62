// store/settings: the arcade settings store.
//
// The game layer's operator settings as a list of named, typed values (each
// with a current value and a default), loaded from the first of two redundant
// text copies whose CRC-32 file matches and saved back to both copies with
// fresh checksums. Files for a stem S: "S0.CFG", "S1.CFG" and their checksum
// files "S0.CRC", "S1.CRC".
//   CFG: one line per setting in list order: name TAB type TAB value LF;
//        type 0 integer ("%d"), 1 float ("%f"), 2 string (rest of the line).
//   CRC: 4 bytes, little-endian CRC-32 (zlib/PNG) of the CFG file's bytes.
// A copy whose checksum file is missing, short or wrong, or that is larger
// than SETTINGS_MAX_FILE_BYTES, is not read. Inside a copy that passes, a value
// that is not a number reads as 0, and an over-long name or value or a type
// that is not a number ends the reading (what was read before stays). Names
// are at most SETTINGS_MAX_NAME characters without blanks, string values at
// most SETTINGS_MAX_VALUE characters on one line: setters refuse others.
// Nothing in this application loads the store, so lookups find nothing until
// a game layer calls `settings_load`. Main thread only.
#pragma once
#include <cstddef>
#include <cstdint>

inline constexpr size_t SETTINGS_MAX_NAME = 4095;
inline constexpr size_t SETTINGS_MAX_VALUE = 4095;
inline constexpr uint32_t SETTINGS_ROW_COUNT = 66;
inline constexpr long SETTINGS_MAX_FILE_BYTES = 4L << 20;

enum SettingType : uint32_t { SETTINGS_INT = 0, SETTINGS_FLOAT = 1, SETTINGS_STRING = 2 };

// A known setting: the variable holds its built-in default and the current
// game value; rows with flag 1 are written by settings_apply_flagged.
struct SettingRow {
    const char* name;
    uint32_t type;
    void* variable;
    uint32_t flag;
};

struct SettingTableDesc {
    uint32_t row_count;
    SettingRow* rows;
};

// Loads the first copy that passes its checksum, merges the rows (a row
// missing from the store takes its variable as current value; every row sets
// the default from its variable), then saves both copies. 0 when the stem
// is null or too long to form the file names (nothing changes then), else 1.
int settings_load(const char* stem, const SettingRow* rows, uint32_t row_count);
void settings_save();
void settings_free();
void settings_apply_all(const SettingRow* rows, uint32_t row_count);
void settings_apply_flagged(const SettingRow* rows, uint32_t row_count);

// Setters find or append the node; they answer 1, or 0 for a null or
// over-long name or value (the store is left as it was).
int settings_set_int(const char* name, int32_t value);
int settings_set_float(const char* name, float value);
int settings_set_string(const char* name, const char* value);
int settings_set_int_default(const char* name, int32_t value);
int settings_set_float_default(const char* name, float value);
int settings_set_string_default(const char* name, const char* value);

int settings_get_int(const char* name, int32_t* out);  // out untouched on 0
int32_t settings_get_int_or(const char* name, int32_t fallback);
int settings_get_float(const char* name, float* out);
const char* settings_get_string(const char* name);
int32_t settings_get_int_default(const char* name);
int32_t settings_reset_int(const char* name);

// The table of the region (0..3; any other region reads as 0).
SettingRow* settings_rows_for_region(uint32_t region);
uint32_t settings_row_count_for_region(uint32_t region);
// The second, unused table (kept for the game layer).
SettingRow* settings_rows_alt();

// File helpers.
// Files are read as data files (plat_read_data_file): a folder, a pipe or a
// device counts as a file that cannot be opened.
long settings_file_size(const char* name);  // 0 when it cannot be opened
void settings_flush_file(const char* name);
int settings_write_crc(const char* cfg_name, const char* crc_name);  // 1 written
uint32_t settings_file_crc(const char* name);                        // 0 when it cannot be read
uint32_t crc32_table(const uint8_t* bytes, size_t length);
uint32_t crc32_bitwise(const uint8_t* bytes, size_t length);
