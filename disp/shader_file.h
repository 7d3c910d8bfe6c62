// disp/shader_file: the shader source file reader.
//
// A shader file is text in two modes. Word mode, between blocks: words
// beginning with '#' skip the rest of their line, words beginning with '@'
// are keywords ("common", "vertexshader", "skinvertexshader",
// "pixelshader" open sections; "function_name" and "profile" take the next
// word; "source" and "register" open a block), any other word is ignored.
// Line mode, inside a block: a line with '@' in column 0 is a keyword line
// ("@source_end" / "@register_end" ends its block, others are dropped), a
// line whose first non-blank characters are "//" is dropped, code lines go
// through include expansion, register lines are kept and parsed as
// declarations. Only the first section of each kind is kept.
//
// Files from Windows and Linux read alike: a CR before LF is dropped and
// byte 0x1A ends the file. Nothing here touches the device or the current
// folder; includes are read relative to the folder given. Main thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---- capacities ------------------------------------------------------------------

inline constexpr int SHADER_LINE_MAX = 1023;     // longer lines arrive in pieces
inline constexpr int SHADER_INCLUDE_DEPTH = 16;  // deeper includes are dropped
inline constexpr int SHADER_NAME_MAX = 63;       // entry, profile and register names
inline constexpr int SHADER_INCLUDE_NAME_MAX = 255;
inline constexpr int SHADER_COUNT_MAX = 1024;        // elements of one register
inline constexpr int SHADER_PARAM_BLOCK = 92;        // bytes of a caller's parameter block
inline constexpr size_t SHADER_FILE_MAX = 8u << 20;  // bigger files are refused
// Budgets of one section, far beyond any real shader: its text after include
// expansion, and its include expansions (nested ones count too). A section
// over either is marked and its stage is refused.
inline constexpr size_t SHADER_SECTION_TEXT_MAX = 1u << 20;
inline constexpr int SHADER_INCLUDE_MAX = 256;
inline constexpr int SHADER_CONST_COUNT = 25;  // engine constants, rows 1..25

// ---- value types -----------------------------------------------------------------

enum ShaderSectionKind : int {
    SHADER_SECTION_COMMON = 0,
    SHADER_SECTION_VERTEX,
    SHADER_SECTION_SKIN_VERTEX,
    SHADER_SECTION_PIXEL,
    SHADER_SECTION_KINDS
};

// Register type ids 1..12 ("int" .. "sampler"), the same numbers as
// GfxConstType; 0 = none.
enum : int { SHADER_REG_NONE = 0, SHADER_REG_SAMPLER = 12, SHADER_REG_TYPE_COUNT = 13 };

// Engine constant rows (1..25), in the order of the constant table.
enum ShaderConstId : int {
    SHADER_CONST_NONE = 0,
    SHADER_CONST_MPAL,
    SHADER_CONST_PVM,
    SHADER_CONST_PVOLD,
    SHADER_CONST_SPVM,
    SHADER_CONST_SPVMUV,
    SHADER_CONST_EYEPOS,
    SHADER_CONST_LIGHTVEC,
    SHADER_CONST_AMBIENTSKY,
    SHADER_CONST_AMBIENTGND,
    SHADER_CONST_AMBIENT,
    SHADER_CONST_DIFFUSE,
    SHADER_CONST_SPECULAR,
    SHADER_CONST_HSUPVEC,
    SHADER_CONST_SUBLIGHTVEC,
    SHADER_CONST_SUBDIFFUSE,
    SHADER_CONST_FOGPARAM,
    SHADER_CONST_PLPOS,
    SHADER_CONST_PLCOLOR,
    SHADER_CONST_SHADOWLIGHTPOS,
    SHADER_CONST_SHADOWCOLOR,
    SHADER_CONST_NEAR,
    SHADER_CONST_FAR,
    SHADER_CONST_SHADOWNEAR,
    SHADER_CONST_SHADOWFAR,
    SHADER_CONST_RATE,
};
static_assert(SHADER_CONST_RATE == SHADER_CONST_COUNT);

// One register line: type, name, element count (>= 1), engine constant row
// (0 = a caller register).
struct ShaderDecl {
    std::string name;
    int type = SHADER_REG_NONE;
    int count = 1;
    int const_id = SHADER_CONST_NONE;
};

struct ShaderSection {
    bool present = false;
    std::string code;     // source lines after include expansion
    std::string regs;     // register lines as written
    std::string entry;    // "@function_name", empty for the default
    std::string profile;  // "@profile", empty for the default
    std::vector<ShaderDecl> decls;
    int includes = 0;          // include expansions made
    bool over_budget = false;  // text or includes beyond the budgets: code incomplete
};

// What one file read gave: the first section of each kind.
struct ShaderFileText {
    ShaderSection section[SHADER_SECTION_KINDS];
};

// One entry of a record's parameter list (the caller's parameter block).
struct ShaderParam {
    std::string name;
    int type = SHADER_REG_NONE;
    int count = 1;
    int offset = 0;  // bytes into the block
};

// ---- reading ---------------------------------------------------------------------

// 1 when the stage kind's source stays within the budgets: neither its
// section nor the common section went over, and the assembled text is at
// most SHADER_SECTION_TEXT_MAX bytes.
int shader_file_within_budget(const ShaderFileText& f, int kind, size_t assembled_size);

// Reads folder + name. 1 on success, 0 when the file cannot be opened (out
// then holds no section). The folder may use '\' or '/' and ends with a
// separator or is empty.
int shader_file_read(std::string_view folder, std::string_view name, ShaderFileText* out);
// The same over text already in memory (includes still come from folder).
void shader_file_parse(std::string_view folder, std::string_view text, ShaderFileText* out);

// Parses one register line. 1 and out filled when it declares a register.
int shader_decl_parse(std::string_view line, ShaderDecl* out);

// ---- assembly --------------------------------------------------------------------

// The source of a stage kind (SHADER_SECTION_VERTEX, SHADER_SECTION_SKIN_VERTEX or
// SHADER_SECTION_PIXEL): the front line and a line break (when given), the common
// registers and code, the stage's registers and code. Empty when the file
// has no section of that kind.
std::string shader_file_assemble(const ShaderFileText& f, int kind, const char* front_line);

// The caller registers of the first common, vertex, skinned vertex and pixel
// sections, first occurrence of each name, packed in that order; a register
// that would end past the 92-byte block is left out.
void shader_file_params(const ShaderFileText& f, std::vector<ShaderParam>* out);

// ---- tables ----------------------------------------------------------------------

int shader_reg_type_size(int type);               // bytes; 0 for none
int shader_reg_type_find(std::string_view word);  // exact name; 0 when none
int shader_const_find(std::string_view name);     // row 1..25; 0 when none
const char* shader_const_name(int id);            // null outside 1..25
