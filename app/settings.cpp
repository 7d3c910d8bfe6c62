#include "app/settings.h"
int settings_load(const char* stem, const SettingRow* rows, uint32_t row_count) { return {}; }
void settings_save() {}
void settings_free() {}
void settings_apply_all(const SettingRow* rows, uint32_t row_count) {}
void settings_apply_flagged(const SettingRow* rows, uint32_t row_count) {}
int settings_set_int(const char* name, int32_t value) { return {}; }
int settings_set_float(const char* name, float value) { return {}; }
int settings_set_string(const char* name, const char* value) { return {}; }
int settings_set_int_default(const char* name, int32_t value) { return {}; }
int settings_set_float_default(const char* name, float value) { return {}; }
int settings_set_string_default(const char* name, const char* value) { return {}; }
int settings_get_int(const char* name, int32_t* out) { return {}; }
int32_t settings_get_int_or(const char* name, int32_t fallback) { return {}; }
int settings_get_float(const char* name, float* out) { return {}; }
const char* settings_get_string(const char* name) { return {}; }
int32_t settings_get_int_default(const char* name) { return {}; }
int32_t settings_reset_int(const char* name) { return {}; }
SettingRow* settings_rows_for_region(uint32_t region) { return {}; }
uint32_t settings_row_count_for_region(uint32_t region) { return {}; }
SettingRow* settings_rows_alt() { return {}; }
long settings_file_size(const char* name) { return {}; }
void settings_flush_file(const char* name) {}
int settings_write_crc(const char* cfg_name, const char* crc_name) { return {}; }
uint32_t settings_file_crc(const char* name) { return {}; }
uint32_t crc32_table(const uint8_t* bytes, size_t length) { return {}; }
uint32_t crc32_bitwise(const uint8_t* bytes, size_t length) { return {}; }
