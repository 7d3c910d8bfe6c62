// gfx_shader: the compiler stand-in. A stage's text becomes one separable GL
// program: register lines at brace depth 0 become uniforms, the shared
// prelude (inputs, varyings, samplers, layer uniforms, epilogues) goes in
// front and a main that calls the entry function and the epilogue at the
// end. The constant table is GL's reflection of the registers the program
// really uses, with the declared sizes as the upper bound of every write;
// its queries and setters are in gfx_shader_const.cpp, the uniforms the
// layer itself feeds every stage in gfx_layer_uniforms.cpp.
//
// Sections: 1 prelude  2 register rewrite  3 build  4 binding
#include "plat/gfx_local.h"
#include "plat/log_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

// ===========================================================================
// 1 Prelude: one interface shared by every stage, user or generated.
// ===========================================================================
// The register types also name types in code, and mul(p, M) is the
// row-vector product, so that code reads as the register lines do.
const char* GFX_TYPE_NAMES = R"(#define int2 ivec2
#define int3 ivec3
#define int4 ivec4
#define float2 vec2
#define float3 vec3
#define float4 vec4
#define float3x3 mat3
#define float4x3 mat3x4
#define float4x4 mat4
#define mul(a, b) ((a) * (b))
)";

const char* GFX_VERTEX_PRELUDE = R"(
layout(location = 0) in vec4 iPosition;
layout(location = 1) in vec4 iBlendWeight;
layout(location = 2) in vec4 iBlendIndices;
layout(location = 3) in vec4 iNormal;
layout(location = 4) in vec4 iColor0;
layout(location = 5) in vec4 iTexCoord0;
layout(location = 6) in vec4 iTexCoord1;
layout(location = 7) in vec4 iTexCoord2;
layout(location = 8) in vec4 iTexCoord3;
layout(location = 9) in vec4 iTexCoord4;
layout(location = 10) in vec4 iTexCoord5;
layout(location = 11) in vec4 iTexCoord6;
layout(location = 12) in vec4 iTexCoord7;
layout(location = 13) in vec4 iTangent;
layout(location = 14) in vec4 iBinormal;
#if GFX_CLIP
out gl_PerVertex { vec4 gl_Position; float gl_PointSize; float gl_ClipDistance[6]; };
#else
out gl_PerVertex { vec4 gl_Position; float gl_PointSize; };
#endif
uniform vec2 gfx_HalfPixel;
#if GFX_CLIP
uniform vec4 gfx_ClipPlane[6];
void gfx_clip_out(vec4 p) {
  for (int i = 0; i < 6; ++i) gl_ClipDistance[i] = dot(p, gfx_ClipPlane[i]);
}
#else
#define gfx_clip_out(p)
#endif
// Direct3D puts pixel centres on integer coordinates, GL half a pixel
// further right and down: move every vertex, pre-transformed or not, by
// just under half a pixel, so that an edge through a pixel centre includes
// that pixel on the left and top and leaves it on the right and bottom, as
// Direct3D's fill rule does. Exactly half a pixel would leave such centres
// on the edge, where GL's own tie rule excludes the top row.
void gfx_pixel_centre() { gl_Position.xy += gfx_HalfPixel * gl_Position.w; }
)";

// The varyings vD0, vD1, vT0..vT7 (vec4) and vFog (float) at locations 0
// to 10 are declared by varying_lines, only where the stage names them.

// Alpha test compares the 8-bit alpha with the reference, as Direct3D
// does; table fog blends by eye distance (1 / w) between start and end.
const char* GFX_PIXEL_PRELUDE = R"(
#define PIXEL_STAGE 1
layout(location = 0) out vec4 oC0;
layout(location = 1) out vec4 oC1;
uniform sampler2D Tex0, Tex1, Tex2, Tex3, Tex4, Tex5, Tex6, Tex7;
uniform int gfx_AlphaFunc;
uniform float gfx_AlphaRef;
uniform int gfx_FogOn;
uniform vec4 gfx_FogColor;
uniform vec2 gfx_FogRange;
void gfx_pixel_epilogue() {
#if GFX_ALPHA_TEST
  if (gfx_AlphaFunc != 8) {
    float a = floor(clamp(oC0.a, 0.0, 1.0) * 255.0 + 0.5);
    bool pass = gfx_AlphaFunc == 2 ? a < gfx_AlphaRef
              : gfx_AlphaFunc == 3 ? a == gfx_AlphaRef
              : gfx_AlphaFunc == 4 ? a <= gfx_AlphaRef
              : gfx_AlphaFunc == 5 ? a > gfx_AlphaRef
              : gfx_AlphaFunc == 6 ? a != gfx_AlphaRef
              : gfx_AlphaFunc == 7 ? a >= gfx_AlphaRef
              : false;
    if (!pass) discard;
  }
#endif
#if GFX_FOG
  if (gfx_FogOn != 0) {
    float z = 1.0 / gl_FragCoord.w;
    float span = gfx_FogRange.y - gfx_FogRange.x;
    float f = span != 0.0 ? clamp((gfx_FogRange.y - z) / span, 0.0, 1.0) : (z < gfx_FogRange.y ? 1.0 : 0.0);
    oC0.rgb = mix(gfx_FogColor.rgb, oC0.rgb, f);
  }
#endif
}
)";

// ===========================================================================
// 2 Register rewrite: `<type> <name>[N] [: register(xN)];` at depth 0.
// ===========================================================================
struct RegType {
    const char* word;
    GfxConstType type;
    const char* glsl;
};
const RegType GFX_REG_TYPES[] = {
    {"int", GFX_CT_INT, "int"},
    {"int2", GFX_CT_INT2, "ivec2"},
    {"int3", GFX_CT_INT3, "ivec3"},
    {"int4", GFX_CT_INT4, "ivec4"},
    {"float", GFX_CT_FLOAT, "float"},
    {"float2", GFX_CT_FLOAT2, "vec2"},
    {"float3", GFX_CT_FLOAT3, "vec3"},
    {"float4", GFX_CT_FLOAT4, "vec4"},
    {"float3x3", GFX_CT_FLOAT3X3, "mat3"},
    {"float4x3", GFX_CT_FLOAT4X3, "mat3x4"},
    {"float4x4", GFX_CT_FLOAT4X4, "mat4"},
    {"sampler", GFX_CT_SAMPLER, "sampler2D"},
};

struct Declared {
    std::string name;
    GfxConstType type;
    int count;        // from a numeric [N]; 0 when the size is a macro
    int sampler_reg;  // explicit s register or -1
};

bool is_ident(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Decimal digits to an int, capped (register numbers and array sizes are
// small; a long run of digits must not overflow).
int small_number(const std::string& digits)
{
    long v = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) break;
        v = std::min(v * 10 + (c - '0'), 1L << 20);
    }
    return static_cast<int>(v);
}

// Parses one line as a register declaration; on success fills `d` and
// `glsl` with the uniform line that replaces it.
bool parse_register(const std::string& line, Declared& d, std::string& glsl)
{
    size_t i = 0, n = line.size();
    auto skip = [&] {
        while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    };
    skip();
    size_t t0 = i;
    while (i < n && is_ident(line[i])) ++i;
    std::string type = line.substr(t0, i - t0);
    const RegType* rt = nullptr;
    for (const auto& r : GFX_REG_TYPES)
        if (type == r.word) rt = &r;
    if (!rt || i >= n || (line[i] != ' ' && line[i] != '\t')) return false;
    skip();
    size_t n0 = i;
    while (i < n && is_ident(line[i])) ++i;
    if (i == n0 || std::isdigit(static_cast<unsigned char>(line[n0]))) return false;
    d.name = line.substr(n0, i - n0);
    d.type = rt->type;
    d.count = 1;
    d.sampler_reg = -1;
    std::string array;
    skip();
    if (i < n && line[i] == '[') {
        size_t close = line.find(']', i);
        if (close == std::string::npos) return false;
        array = line.substr(i, close - i + 1);
        std::string inner = line.substr(i + 1, close - i - 1);
        bool digits = !inner.empty() && std::all_of(inner.begin(), inner.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        });
        d.count = digits ? std::max(1, small_number(inner)) : 0;
        i = close + 1;
        skip();
    }
    if (i < n && line[i] == ':') {  // HLSL-style register annotation
        size_t open = line.find('(', i), close = line.find(')', i);
        if (open == std::string::npos || close == std::string::npos || close < open) return false;
        std::string reg = line.substr(open + 1, close - open - 1);
        reg.erase(
            std::remove_if(reg.begin(), reg.end(),
                           [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
            reg.end());
        if (reg.size() >= 2 && (reg[0] == 's' || reg[0] == 'S') && d.type == GFX_CT_SAMPLER)
            d.sampler_reg = std::min(small_number(reg.substr(1)), 15);
        i = close + 1;
        skip();
    }
    if (i >= n || line[i] != ';') return false;
    glsl = std::string("uniform ") + rt->glsl + " " + d.name + array + ";" + line.substr(i + 1);
    return true;
}

// Rewrites the source line for line (line numbers stay true) and lists the
// registers found.
std::string rewrite_registers(const char* src, size_t len, std::vector<Declared>& regs)
{
    std::string out;
    out.reserve(len + 256);
    int depth = 0;
    bool block_comment = false;
    size_t pos = 0;
    while (pos < len) {
        size_t end = pos;
        while (end < len && src[end] != '\n') ++end;
        std::string line(src + pos, end - pos);
        Declared d;
        std::string repl;
        if (depth == 0 && !block_comment && parse_register(line, d, repl)) {
            regs.push_back(d);
            out += repl;
        } else {
            out += line;
        }
        // Track braces outside comments so that locals inside functions stay.
        for (size_t k = 0; k < line.size(); ++k) {
            if (block_comment) {
                if (line[k] == '*' && k + 1 < line.size() && line[k + 1] == '/')
                    block_comment = false, ++k;
                continue;
            }
            if (line[k] == '/' && k + 1 < line.size() && line[k + 1] == '/') break;
            if (line[k] == '/' && k + 1 < line.size() && line[k + 1] == '*') {
                block_comment = true, ++k;
                continue;
            }
            if (line[k] == '{') ++depth;
            if (line[k] == '}' && depth > 0) --depth;
        }
        out += '\n';
        pos = end + 1;
    }
    return out;
}

bool valid_entry(const char* entry)
{
    if (!entry || !*entry || std::isdigit(static_cast<unsigned char>(entry[0]))) return false;
    for (const char* p = entry; *p; ++p)
        if (!is_ident(*p)) return false;
    return std::strlen(entry) < 128;
}

void copy_error(char* errors, size_t size, const char* text)
{
    if (!errors || size == 0) return;
    std::snprintf(errors, size, "%s", text);
}

GfxConstType gl_to_const_type(GLenum t)
{
    switch (t) {
    case GL_INT: return GFX_CT_INT;
    case GL_INT_VEC2: return GFX_CT_INT2;
    case GL_INT_VEC3: return GFX_CT_INT3;
    case GL_INT_VEC4: return GFX_CT_INT4;
    case GL_FLOAT: return GFX_CT_FLOAT;
    case GL_FLOAT_VEC2: return GFX_CT_FLOAT2;
    case GL_FLOAT_VEC3: return GFX_CT_FLOAT3;
    case GL_FLOAT_VEC4: return GFX_CT_FLOAT4;
    case GL_FLOAT_MAT3: return GFX_CT_FLOAT3X3;
    case GL_FLOAT_MAT3x4: return GFX_CT_FLOAT4X3;
    case GL_FLOAT_MAT4: return GFX_CT_FLOAT4X4;
    case GL_SAMPLER_2D: return GFX_CT_SAMPLER;
    default: return GFX_CT_NONE;
    }
}

// Active size of a uniform (arrays may be trimmed to the highest used element).
int active_size(GLuint prog, const std::string& name, GLenum* type)
{
    GLuint idx = glGetProgramResourceIndex(prog, GL_UNIFORM, name.c_str());
    if (idx == GL_INVALID_INDEX)
        idx = glGetProgramResourceIndex(prog, GL_UNIFORM, (name + "[0]").c_str());
    if (idx == GL_INVALID_INDEX) return 0;
    const GLenum props[2] = {GL_ARRAY_SIZE, GL_TYPE};
    GLint vals[2] = {0, 0};
    glGetProgramResourceiv(prog, GL_UNIFORM, idx, 2, props, 2, nullptr, vals);
    *type = static_cast<GLenum>(vals[1]);
    return std::max(1, vals[0]);
}

void fill_table(GfxShader* sh, const std::vector<Declared>& regs)
{
    std::vector<int> taken;
    for (const auto& r : regs)
        if (r.type == GFX_CT_SAMPLER && r.sampler_reg >= 0) taken.push_back(r.sampler_reg);
    for (const auto& r : regs) {
        bool dup = false;
        for (const auto& e : sh->constants) dup |= e.name == r.name;
        if (dup) continue;
        GLint loc = glGetUniformLocation(sh->program, r.name.c_str());
        if (loc < 0) continue;  // not used by the stage: no handle, as in D3DX
        GLenum gltype = 0;
        int size = active_size(sh->program, r.name, &gltype);
        if (gl_to_const_type(gltype) != r.type) continue;
        GfxConstEntry e;
        e.name = r.name;
        e.type = r.type;
        e.count = r.count > 0 ? std::min(r.count, size) : size;
        e.location = loc;
        if (r.type == GFX_CT_SAMPLER) {
            int s = r.sampler_reg;
            if (s < 0) {  // lowest stage not already taken, in declaration order
                s = 0;
                while (std::find(taken.begin(), taken.end(), s) != taken.end()) ++s;
                taken.push_back(s);
            }
            e.sampler_stage = s;
            glProgramUniform1i(sh->program, loc, s);
        }
        sh->constants.push_back(e);
    }
}

}  // namespace

// ===========================================================================
// 3 Build
// ===========================================================================
namespace {
// True when `text` holds `name` as a whole identifier (comments and unused
// branches included: a superset is harmless).
bool names(const std::string& text, const char* name)
{
    const size_t n = std::strlen(name);
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
        const bool left = at == 0 || !is_ident(text[at - 1]);
        const bool right = at + n >= text.size() || !is_ident(text[at + n]);
        if (left && right) return true;
    }
    return false;
}

// The varyings by location; vFog is a float, the others vec4.
const char* const GFX_NAMES[11] = {"vD0", "vD1", "vT0", "vT1", "vT2", "vT3",
                                   "vT4", "vT5", "vT6", "vT7", "vFog"};

// The varyings the stage's text names. A separable stage keeps every
// varying it declares, used or not, and the renderer sets each one up for
// every triangle; a stage that declares only its own pays only for those.
std::string varying_lines(const std::string& body, bool vertex)
{
    std::string s;
    for (int loc = 0; loc < 11; ++loc) {
        if (!names(body, GFX_NAMES[loc])) continue;
        s += "layout(location = " + std::to_string(loc) + (vertex ? ") out " : ") in ") +
             (loc == 10 ? "float " : "vec4 ") + GFX_NAMES[loc] + ";\n";
    }
    return s;
}

// Compiles the stage's text with the switches of one variant.
struct VariantHead {
    char text[160];
};

VariantHead variant_head(bool pixel, int key)
{
    VariantHead h;
    std::snprintf(h.text, sizeof h.text,
                  "#version 450 core\n#define GFX_ALPHA_TEST %d\n#define GFX_FOG %d\n"
                  "#define GFX_CLIP %d\n",
                  pixel && (key & GFX_VAR_ALPHA) ? 1 : 0, pixel && (key & GFX_VAR_FOG) ? 1 : 0,
                  !pixel && (key & GFX_VAR_CLIP) ? 1 : 0);
    return h;
}

void bind_sampler_units(GLuint prog)
{
    for (int t = 0; t < GFX_MAX_STAGES; ++t) {
        char name[8] = {'T', 'e', 'x', static_cast<char>('0' + t), 0};
        GLint l = glGetUniformLocation(prog, name);
        if (l >= 0) glProgramUniform1i(prog, l, t);
    }
}

GLuint compile_variant(const GfxShader* sh, int key, char* errors, size_t errors_size)
{
    const bool pixel = sh->kind == GFX_SHADER_PIXEL;
    const VariantHead head = variant_head(pixel, key);
    const char* texts[2] = {head.text, sh->text.c_str()};
    GLuint prog = glCreateShaderProgramv(pixel ? GL_FRAGMENT_SHADER : GL_VERTEX_SHADER, 2, texts);
    gfx_dev.counters.programs_built++;
    GLint linked = 0;
    glGetProgramiv(prog, GL_LINK_STATUS, &linked);
    if (!linked) {
        char log[4096] = {};
        glGetProgramInfoLog(prog, sizeof log - 1, nullptr, log);
        copy_error(errors, errors_size, log);
        glDeleteProgram(prog);
        return 0;
    }
    if (pixel) bind_sampler_units(prog);
    return prog;
}

// Location of element `i` of a constant in `prog`.
GLint element_location(GLuint prog, const GfxConstEntry& e, int i)
{
    if (i == 0) return glGetUniformLocation(prog, e.name.c_str());
    return glGetUniformLocation(prog, (e.name + "[" + std::to_string(i) + "]").c_str());
}

// Gives program `to` the values the stage's constants hold in its base
// program; `loc` receives each constant's location in `to`.
template <typename Loc>
void copy_constants(const GfxShader* sh, GLuint to, Loc loc)
{
    GLuint from = sh->program;
    for (size_t n = 0; n < sh->constants.size(); ++n) {
        const GfxConstEntry& e = sh->constants[n];
        GLint& at = loc(n);
        at = glGetUniformLocation(to, e.name.c_str());
        if (at < 0) continue;
        for (int i = 0; i < e.count; ++i) {
            GLint src = element_location(from, e, i), dst = element_location(to, e, i);
            if (src < 0 || dst < 0) continue;
            if (e.type <= GFX_CT_INT4 || e.type == GFX_CT_SAMPLER) {
                GLint v[4] = {};
                glGetnUniformiv(from, src, sizeof v, v);
                switch (e.type == GFX_CT_SAMPLER ? GFX_CT_INT : e.type) {
                case GFX_CT_INT: glProgramUniform1iv(to, dst, 1, v); break;
                case GFX_CT_INT2: glProgramUniform2iv(to, dst, 1, v); break;
                case GFX_CT_INT3: glProgramUniform3iv(to, dst, 1, v); break;
                default: glProgramUniform4iv(to, dst, 1, v); break;
                }
                continue;
            }
            GLfloat v[16] = {};
            glGetnUniformfv(from, src, sizeof v, v);
            switch (e.type) {
            case GFX_CT_FLOAT: glProgramUniform1fv(to, dst, 1, v); break;
            case GFX_CT_FLOAT2: glProgramUniform2fv(to, dst, 1, v); break;
            case GFX_CT_FLOAT3: glProgramUniform3fv(to, dst, 1, v); break;
            case GFX_CT_FLOAT4: glProgramUniform4fv(to, dst, 1, v); break;
            case GFX_CT_FLOAT3X3: glProgramUniformMatrix3fv(to, dst, 1, GL_FALSE, v); break;
            case GFX_CT_FLOAT4X3: glProgramUniformMatrix3x4fv(to, dst, 1, GL_FALSE, v); break;
            default: glProgramUniformMatrix4fv(to, dst, 1, GL_FALSE, v); break;
            }
        }
    }
}
}  // namespace

GfxShader* gfx_shader_build(GfxShaderKind kind, const std::string& body, const char* entry,
                            int generated, char* errors, size_t errors_size)
{
    std::string src = GFX_TYPE_NAMES;
    bool vertex = kind != GFX_SHADER_PIXEL;
    if (vertex) {
        src += "#define VERTEX_STAGE 1\n";
        if (kind == GFX_SHADER_SKINNED_VERTEX) src += "#define SKINNED_STAGE 1\n";
        src += GFX_VERTEX_PRELUDE;
    } else {
        src += GFX_PIXEL_PRELUDE;
    }
    src += varying_lines(body, vertex);
    src += "#line 1\n";
    src += body;
    src += "\nvoid main() {\n  ";
    src += entry;
    src += "();\n";
    if (vertex && !generated) src += "  gfx_clip_out(gl_Position);\n  gfx_pixel_centre();\n";
    if (!vertex) src += "  gfx_pixel_epilogue();\n";
    src += "}\n";
    auto* sh = new GfxShader;
    sh->gen = gfx_dev.generation;
    sh->kind = kind;
    sh->generated = generated;
    sh->text = std::move(src);
    // The plain variant is what most draws use; the others come when a
    // state first asks for them.
    GLuint prog = compile_variant(sh, 0, errors, errors_size);
    if (!prog) {
        delete sh;
        return nullptr;
    }
    sh->program = sh->var[0].program = prog;
    gfx_shader_fill_layer_locations(sh->var[0]);
    return sh;
}

int gfx_shader_variant_key(GfxShaderKind kind, int pretransformed)
{
    const GfxDevice& d = gfx_dev;
    const auto& rs = d.rs;
    if (kind == GFX_SHADER_PIXEL) {
        if (d.general_stages) return GFX_VAR_ALPHA | GFX_VAR_FOG;
        uint32_t func = rs[GFX_RS_ALPHAFUNC];
        int key = 0;
        if (rs[GFX_RS_ALPHATESTENABLE] && func >= GFX_CMP_NEVER && func < GFX_CMP_ALWAYS)
            key |= GFX_VAR_ALPHA;
        if (rs[GFX_RS_FOGENABLE] && (rs[GFX_RS_FOGTABLEMODE] == GFX_FOG_LINEAR ||
                                     rs[GFX_RS_FOGVERTEXMODE] == GFX_FOG_LINEAR))
            key |= GFX_VAR_FOG;
        return key;
    }
    if (d.general_stages) return GFX_VAR_CLIP;
    return !pretransformed && (rs[GFX_RS_CLIPPLANEENABLE] & 0x3F) ? GFX_VAR_CLIP : 0;
}

GfxStageProgram* gfx_shader_variant(GfxShader* sh, int key)
{
    GfxStageProgram& v = sh->var[key];
    if (v.program) return &v;
    if (v.failed) return nullptr;
    char log[2048];
    v.program = compile_variant(sh, key, log, sizeof log);
    if (!v.program) {
        plat_log_line("gfx: stage variant %d failed to build: %s", key, log);
        v.failed = 1;
        return nullptr;
    }
    gfx_shader_fill_layer_locations(v);
    copy_constants(sh, v.program,
                   [&](size_t n) -> GLint& { return sh->constants[n].var_loc[key]; });
    return &v;
}

namespace {
// The varyings a pair's vertex stage must add: those the pixel stage reads
// and the vertex stage never names. They read zero, as a separate stage's
// unwritten input does.
std::string missing_varyings(const GfxShader* vs, const GfxShader* ps, std::string* zeroes)
{
    std::string decl;
    for (int loc = 0; loc < 11; ++loc) {
        if (!names(ps->text, GFX_NAMES[loc]) || names(vs->text, GFX_NAMES[loc])) continue;
        decl += "layout(location = " + std::to_string(loc) + ") out " +
                (loc == 10 ? "float " : "vec4 ") + GFX_NAMES[loc] + ";\n";
        *zeroes +=
            std::string("  ") + GFX_NAMES[loc] + (loc == 10 ? " = 0.0;\n" : " = vec4(0.0);\n");
    }
    return decl;
}

bool attach_stage(GLuint prog, GLenum type, const std::vector<const char*>& texts)
{
    GLuint sh = glCreateShader(type);
    glShaderSource(sh, static_cast<GLsizei>(texts.size()), texts.data(), nullptr);
    glCompileShader(sh);
    GLint ok = 0;
    glGetShaderiv(sh, GL_COMPILE_STATUS, &ok);
    if (ok) glAttachShader(prog, sh);
    glDeleteShader(sh);
    return ok != 0;
}

// Links both stages' texts as one program; 0 when it cannot be done (a
// name both stages declare would become one uniform, so such pairs stay
// separate).
GLuint link_pair(const GfxShader* vs, int vkey, const GfxShader* ps, int pkey)
{
    for (const auto& a : vs->constants)
        for (const auto& b : ps->constants)
            if (a.name == b.name) return 0;
    std::string zeroes;
    const std::string extra = missing_varyings(vs, ps, &zeroes) + "#define main gfx_stage_main\n";
    const std::string tail = "\n#undef main\nvoid main() {\n" + zeroes + "  gfx_stage_main();\n}\n";
    const VariantHead vh = variant_head(false, vkey), ph = variant_head(true, pkey);
    GLuint prog = glCreateProgram();
    gfx_dev.counters.programs_built++;
    bool ok = attach_stage(prog, GL_VERTEX_SHADER,
                           {vh.text, extra.c_str(), vs->text.c_str(), tail.c_str()}) &&
              attach_stage(prog, GL_FRAGMENT_SHADER, {ph.text, ps->text.c_str()});
    GLint linked = 0;
    if (ok) {
        glProgramParameteri(prog, GL_PROGRAM_SEPARABLE, GL_TRUE);
        glLinkProgram(prog);
        glGetProgramiv(prog, GL_LINK_STATUS, &linked);
    }
    if (!linked) {
        glDeleteProgram(prog);
        return 0;
    }
    bind_sampler_units(prog);
    return prog;
}

void drop_pair(GfxStagePair* p)
{
    GfxDevice& d = gfx_dev;
    for (GfxShader* s : p->stage)
        if (s) std::erase(s->pairs, p);
    if (GLuint prog = p->prog.program) {
        if (d.gl.vs == prog) d.gl.vs = 0xFFFFFFFFu;
        if (d.gl.fs == prog) d.gl.fs = 0xFFFFFFFFu;
        glDeleteProgram(prog);
    }
    d.pairs.erase(p->key);
}
}  // namespace

GfxStageProgram* gfx_shader_pair(GfxShader* vs, GfxStageProgram* vp, int vkey, GfxShader* ps,
                                 GfxStageProgram* pp, int pkey)
{
    GfxDevice& d = gfx_dev;
    if (d.separate_stages) return nullptr;
    const uint64_t key = uint64_t{vp->program} << 32 | pp->program;
    auto it = d.pairs.find(key);
    if (it != d.pairs.end()) return it->second->prog.program ? &it->second->prog : nullptr;
    auto pair = std::make_unique<GfxStagePair>();
    GfxStagePair* p = pair.get();
    p->key = key, p->stage[0] = vs, p->stage[1] = ps;
    d.pairs.emplace(key, std::move(pair));
    vs->pairs.push_back(p), ps->pairs.push_back(p);
    p->prog.program = link_pair(vs, vkey, ps, pkey);
    if (!p->prog.program) return nullptr;  // remembered, so it is tried once
    gfx_shader_fill_layer_locations(p->prog);
    for (int k = 0; k < 2; ++k) {
        const GfxShader* s = p->stage[k];
        p->loc[k].assign(s->constants.size(), -1);
        copy_constants(s, p->prog.program, [&](size_t n) -> GLint& { return p->loc[k][n]; });
    }
    return &p->prog;
}

void gfx_shader_destroy(GfxShader* sh)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_live(sh->gen)) {
        delete sh;
        return;
    }
    if (d.vs == sh) d.vs = nullptr;
    if (d.ps == sh) d.ps = nullptr;
    while (!sh->pairs.empty()) drop_pair(sh->pairs.back());
    for (auto& v : sh->var) {
        if (!v.program) continue;
        if (d.gl.vs == v.program) d.gl.vs = 0xFFFFFFFFu;
        if (d.gl.fs == v.program) d.gl.fs = 0xFFFFFFFFu;
        glDeleteProgram(v.program);
    }
    delete sh;
}

void gfx_shader_stop_all(void)
{
    for (auto& kv : gfx_dev.ffp_programs) gfx_shader_destroy(kv.second);
    gfx_dev.ffp_programs.clear();
    gfx_dev.ffp_vs_last = gfx_dev.ffp_ps_last = nullptr;
}

GfxShader* gfx_shader_compile(GfxShaderKind kind, const char* source, size_t length,
                              const char* entry, const char* profile, char* errors,
                              size_t errors_size)
{
    if (errors && errors_size) errors[0] = 0;
    if (!gfx_usable()) return nullptr;
    if (!source || !profile || kind < GFX_SHADER_VERTEX || kind > GFX_SHADER_PIXEL) return nullptr;
    const char* want = kind == GFX_SHADER_PIXEL ? "ps_" : "vs_";
    if (std::strncmp(profile, want, 3) != 0) {
        copy_error(errors, errors_size, "profile does not fit the stage");
        return nullptr;
    }
    if (!valid_entry(entry)) {
        copy_error(errors, errors_size, "bad entry name");
        return nullptr;
    }
    std::vector<Declared> regs;
    std::string body = rewrite_registers(source, length, regs);
    GfxShader* sh = gfx_shader_build(kind, body, entry, 0, errors, errors_size);
    if (sh) fill_table(sh, regs);
    if (sh)
        for (auto& e : sh->constants) e.var_loc[0] = e.location;
    return sh;
}

void gfx_shader_release(GfxShader* shader)
{
    if (shader && !shader->generated) gfx_shader_destroy(shader);
}

GfxShaderKind gfx_shader_kind(const GfxShader* shader)
{
    return shader ? shader->kind : GFX_SHADER_VERTEX;
}

// ===========================================================================
// 4 Binding
// ===========================================================================
GfxHr gfx_set_vertex_shader(GfxShader* shader)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (shader && shader->kind == GFX_SHADER_PIXEL) return GFX_E_INVALIDCALL;
    gfx_dev.vs = shader;
    return GFX_OK;
}

GfxHr gfx_set_pixel_shader(GfxShader* shader)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (shader && shader->kind != GFX_SHADER_PIXEL) return GFX_E_INVALIDCALL;
    gfx_dev.ps = shader;
    return GFX_OK;
}
