// gfx_shader: the compiler stand-in. A stage's text becomes one separable GL
// program: register lines at brace depth 0 become uniforms, the shared
// prelude (inputs, varyings, samplers, layer uniforms, epilogues) goes in
// front and a main that calls the entry function and the epilogue at the
// end. The constant table is GL's reflection of the registers the program
// really uses, with the declared sizes as the upper bound of every write.
//
// Sections: 1 prelude  2 register rewrite  3 build  4 binding  5 table
//           6 setters  7 layer uniforms
#include "plat/gfx_local.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const char* const kLayerNames[GFX_LU_COUNT] = {
    "gfx_WorldViewProj", "gfx_WorldView",    "gfx_World",        "gfx_Viewport",
    "gfx_HalfPixel",     "gfx_LightDir",     "gfx_LightDiffuse", "gfx_LightSpecular",
    "gfx_LightAmbient",  "gfx_MatDiffuse",   "gfx_MatAmbient",   "gfx_MatSpecular",
    "gfx_MatEmissive",   "gfx_MatPower",     "gfx_Ambient",      "gfx_AlphaFunc",
    "gfx_AlphaRef",      "gfx_FogOn",        "gfx_FogColor",     "gfx_FogRange",
    "gfx_TFactor",       "gfx_ClipPlane[0]",
};

// ===========================================================================
// 1 Prelude: one interface shared by every stage, user or generated.
// ===========================================================================
// The register types also name types in code, and mul(p, M) is the
// row-vector product, so that code reads as the register lines do.
const char* kTypeNames = R"(#define int2 ivec2
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

const char* kVertexPrelude = R"(
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
const char* kPixelPrelude = R"(
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
const RegType kRegTypes[] = {
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
    for (const auto& r : kRegTypes)
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
const char* const kNames[11] = {"vD0", "vD1", "vT0", "vT1", "vT2", "vT3",
                                "vT4", "vT5", "vT6", "vT7", "vFog"};

// The varyings the stage's text names. A separable stage keeps every
// varying it declares, used or not, and the renderer sets each one up for
// every triangle; a stage that declares only its own pays only for those.
std::string varying_lines(const std::string& body, bool vertex)
{
    std::string s;
    for (int loc = 0; loc < 11; ++loc) {
        if (!names(body, kNames[loc])) continue;
        s += "layout(location = " + std::to_string(loc) + (vertex ? ") out " : ") in ") +
             (loc == 10 ? "float " : "vec4 ") + kNames[loc] + ";\n";
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

void fill_layer_locations(GfxStageProgram& v)
{
    for (int i = 0; i < GFX_LU_COUNT; ++i)
        v.loc[i] = glGetUniformLocation(v.program, kLayerNames[i]);
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
    std::string src = kTypeNames;
    bool vertex = kind != GFX_SHADER_PIXEL;
    if (vertex) {
        src += "#define VERTEX_STAGE 1\n";
        if (kind == GFX_SHADER_SKINNED_VERTEX) src += "#define SKINNED_STAGE 1\n";
        src += kVertexPrelude;
    } else {
        src += kPixelPrelude;
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
    fill_layer_locations(sh->var[0]);
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
        std::fprintf(stderr, "gfx: stage variant %d failed to build: %s\n", key, log);
        v.failed = 1;
        return nullptr;
    }
    fill_layer_locations(v);
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
        if (!names(ps->text, kNames[loc]) || names(vs->text, kNames[loc])) continue;
        decl += "layout(location = " + std::to_string(loc) + ") out " +
                (loc == 10 ? "float " : "vec4 ") + kNames[loc] + ";\n";
        *zeroes += std::string("  ") + kNames[loc] + (loc == 10 ? " = 0.0;\n" : " = vec4(0.0);\n");
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
    fill_layer_locations(p->prog);
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

// ===========================================================================
// 5 Constant table
// ===========================================================================
namespace {
const GfxConstEntry* entry_of(const GfxShader* s, GfxConstHandle h)
{
    if (!s || h == 0 || h > s->constants.size()) return nullptr;
    return &s->constants[h - 1];
}
}  // namespace

GfxConstHandle gfx_const_by_name(const GfxShader* shader, const char* name)
{
    if (!shader || !name) return 0;
    for (size_t i = 0; i < shader->constants.size(); ++i)
        if (shader->constants[i].name == name) return i + 1;
    return 0;
}

int gfx_const_count(const GfxShader* shader)
{
    return shader ? static_cast<int>(shader->constants.size()) : 0;
}

GfxConstHandle gfx_const_by_index(const GfxShader* shader, int index)
{
    if (!shader || index < 0 || index >= gfx_const_count(shader)) return 0;
    return static_cast<GfxConstHandle>(index) + 1;
}

GfxHr gfx_const_desc(const GfxShader* shader, GfxConstHandle h, GfxConstDesc* out)
{
    const GfxConstEntry* e = entry_of(shader, h);
    if (!e || !out) return GFX_E_INVALIDCALL;
    out->name = e->name.c_str();
    out->type = e->type;
    out->count = e->count;
    out->sampler_stage = e->sampler_stage;
    return GFX_OK;
}

int gfx_const_sampler_stage(const GfxShader* shader, GfxConstHandle h)
{
    const GfxConstEntry* e = entry_of(shader, h);
    return e ? e->sampler_stage : -1;
}

// ===========================================================================
// 6 Setters. Every write is cut to the constant's declared elements.
// ===========================================================================
namespace {
int components(GfxConstType t)
{
    switch (t) {
    case GFX_CT_INT:
    case GFX_CT_FLOAT: return 1;
    case GFX_CT_INT2:
    case GFX_CT_FLOAT2: return 2;
    case GFX_CT_INT3:
    case GFX_CT_FLOAT3: return 3;
    case GFX_CT_INT4:
    case GFX_CT_FLOAT4: return 4;
    default: return 0;
    }
}
bool is_int(GfxConstType t) { return t >= GFX_CT_INT && t <= GFX_CT_INT4; }
bool is_vector(GfxConstType t) { return components(t) > 0; }

// Calls fn(program, location) for every built variant of the stage that
// uses the constant, so that all of them hold the same values.
template <typename Fn>
void for_each_variant(GfxShader* s, const GfxConstEntry& e, Fn fn)
{
    for (int k = 0; k < GFX_STAGE_VARIANTS; ++k)
        if (s->var[k].program && e.var_loc[k] >= 0) fn(s->var[k].program, e.var_loc[k]);
    if (!gfx_live(s->gen)) return;
    const size_t i = static_cast<size_t>(&e - s->constants.data());
    for (const GfxStagePair* p : s->pairs) {
        const GLint loc = p->loc[p->stage[0] == s ? 0 : 1][i];
        if (p->prog.program && loc >= 0) fn(p->prog.program, loc);
    }
}

// Writes `elements` values of `comps` components each (floats in, converted
// to ints for int constants). `values` holds elements x comps floats.
GfxHr write_vectors(GfxShader* s, const GfxConstEntry& e, const float* values, int elements)
{
    int comps = components(e.type);
    elements = std::min(elements, e.count);
    if (elements <= 0) return GFX_OK;
    GLsizei n = elements;
    std::vector<int> iv;
    if (is_int(e.type)) {
        iv.resize(static_cast<size_t>(elements) * comps);
        for (size_t i = 0; i < iv.size(); ++i) iv[i] = static_cast<int>(values[i]);
    }
    for_each_variant(s, e, [&](GLuint p, GLint loc) {
        if (is_int(e.type)) {
            switch (comps) {
            case 1: glProgramUniform1iv(p, loc, n, iv.data()); break;
            case 2: glProgramUniform2iv(p, loc, n, iv.data()); break;
            case 3: glProgramUniform3iv(p, loc, n, iv.data()); break;
            default: glProgramUniform4iv(p, loc, n, iv.data()); break;
            }
            return;
        }
        switch (comps) {
        case 1: glProgramUniform1fv(p, loc, n, values); break;
        case 2: glProgramUniform2fv(p, loc, n, values); break;
        case 3: glProgramUniform3fv(p, loc, n, values); break;
        default: glProgramUniform4fv(p, loc, n, values); break;
        }
    });
    return GFX_OK;
}

// Packs a flat list of scalars into whole elements (the last one zero-padded).
GfxHr write_scalars(GfxShader* s, GfxConstHandle h, const float* v, int count)
{
    const GfxConstEntry* e = entry_of(s, h);
    if (!e || !v || count < 0 || !is_vector(e->type)) return GFX_E_INVALIDCALL;
    int comps = components(e->type);
    int total = std::min(count, comps * e->count);
    int elements = (total + comps - 1) / comps;
    std::vector<float> buf(static_cast<size_t>(elements) * comps, 0.0f);
    std::copy(v, v + total, buf.begin());
    return write_vectors(s, *e, buf.data(), elements);
}

// Four-float vectors cut to the constant's width.
GfxHr write_vec4s(GfxShader* s, GfxConstHandle h, const float* v4, int count)
{
    const GfxConstEntry* e = entry_of(s, h);
    if (!e || !v4 || count < 0 || !is_vector(e->type)) return GFX_E_INVALIDCALL;
    int comps = components(e->type);
    int elements = std::min(count, e->count);
    std::vector<float> buf(static_cast<size_t>(elements) * comps);
    for (int i = 0; i < elements; ++i)
        for (int c = 0; c < comps; ++c) buf[static_cast<size_t>(i) * comps + c] = v4[i * 4 + c];
    return write_vectors(s, *e, buf.data(), elements);
}
}  // namespace

GfxHr gfx_const_set_int(GfxShader* s, GfxConstHandle h, int v)
{
    float f = static_cast<float>(v);
    return write_scalars(s, h, &f, 1);
}

GfxHr gfx_const_set_ints(GfxShader* s, GfxConstHandle h, const int* v, int count)
{
    if (!v || count < 0) return GFX_E_INVALIDCALL;
    std::vector<float> f(v, v + count);
    return write_scalars(s, h, f.data(), count);
}

GfxHr gfx_const_set_float(GfxShader* s, GfxConstHandle h, float v)
{
    return write_scalars(s, h, &v, 1);
}

GfxHr gfx_const_set_floats(GfxShader* s, GfxConstHandle h, const float* v, int count)
{
    return write_scalars(s, h, v, count);
}

GfxHr gfx_const_set_vector(GfxShader* s, GfxConstHandle h, const float v[4])
{
    return write_vec4s(s, h, v, 1);
}

GfxHr gfx_const_set_vectors(GfxShader* s, GfxConstHandle h, const float* v4, int count)
{
    return write_vec4s(s, h, v4, count);
}

namespace {
// The first `rows` rows of `n` 4x4 matrices, three columns of each row.
std::vector<float> first_three_columns(const float* m16, int n, int rows)
{
    std::vector<float> out(static_cast<size_t>(n) * static_cast<size_t>(rows) * 3);
    size_t k = 0;
    for (int i = 0; i < n; ++i)
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 3; ++c) out[k++] = m16[i * 16 + r * 4 + c];
    return out;
}
}  // namespace

GfxHr gfx_const_set_matrices(GfxShader* s, GfxConstHandle h, const float* m16, int count)
{
    const GfxConstEntry* e = entry_of(s, h);
    if (!e || !m16 || count < 0) return GFX_E_INVALIDCALL;
    int n = std::min(count, e->count);
    if (n <= 0) return GFX_OK;
    // Uploaded with transpose so that GLSL `p * M` is the row-vector product.
    switch (e->type) {
    case GFX_CT_FLOAT4X4:
        for_each_variant(s, *e, [&](GLuint p, GLint loc) {
            glProgramUniformMatrix4fv(p, loc, n, GL_TRUE, m16);
        });
        return GFX_OK;
    case GFX_CT_FLOAT4X3: {  // four rows of three
        std::vector<float> rows = first_three_columns(m16, n, 4);
        for_each_variant(s, *e, [&](GLuint p, GLint loc) {
            glProgramUniformMatrix3x4fv(p, loc, n, GL_TRUE, rows.data());
        });
        return GFX_OK;
    }
    case GFX_CT_FLOAT3X3: {
        std::vector<float> rows = first_three_columns(m16, n, 3);
        for_each_variant(s, *e, [&](GLuint p, GLint loc) {
            glProgramUniformMatrix3fv(p, loc, n, GL_TRUE, rows.data());
        });
        return GFX_OK;
    }
    default: return GFX_E_INVALIDCALL;
    }
}

GfxHr gfx_const_set_matrix(GfxShader* s, GfxConstHandle h, const float m[16])
{
    return gfx_const_set_matrices(s, h, m, 1);
}

// ===========================================================================
// 7 Layer uniforms
// ===========================================================================
namespace {
void mat_mul(const float* a, const float* b, float* out)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float v = 0;
            for (int k = 0; k < 4; ++k) v += a[r * 4 + k] * b[k * 4 + c];
            out[r * 4 + c] = v;
        }
}
void color4(uint32_t argb, float* out)
{
    out[0] = ((argb >> 16) & 0xFF) / 255.0f;
    out[1] = ((argb >> 8) & 0xFF) / 255.0f;
    out[2] = (argb & 0xFF) / 255.0f;
    out[3] = ((argb >> 24) & 0xFF) / 255.0f;
}
float as_float(uint32_t u)
{
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// Just under half a pixel (in pixels); see gfx_pixel_centre.
constexpr float kHalfPixel = 63.0f / 128.0f;

void upload_transform(GfxStageProgram* sh)
{
    const GfxDevice& d = gfx_dev;
    const auto& L = sh->loc;
    GLuint p = sh->program;
    if (L[GFX_LU_WVP] >= 0 || L[GFX_LU_WV] >= 0) {
        float wv[16], wvp[16];
        mat_mul(d.xform[GFX_TS_WORLD].data(), d.xform[GFX_TS_VIEW].data(), wv);
        mat_mul(wv, d.xform[GFX_TS_PROJECTION].data(), wvp);
        if (L[GFX_LU_WVP] >= 0) glProgramUniformMatrix4fv(p, L[GFX_LU_WVP], 1, GL_TRUE, wvp);
        if (L[GFX_LU_WV] >= 0) glProgramUniformMatrix4fv(p, L[GFX_LU_WV], 1, GL_TRUE, wv);
    }
    if (L[GFX_LU_WORLD] >= 0)
        glProgramUniformMatrix4fv(p, L[GFX_LU_WORLD], 1, GL_TRUE, d.xform[GFX_TS_WORLD].data());
    if (L[GFX_LU_HALFPIXEL] >= 0)
        glProgramUniform2f(p, L[GFX_LU_HALFPIXEL],
                           kHalfPixel * 2.0f / static_cast<float>(std::max(1, d.viewport.width)),
                           -kHalfPixel * 2.0f / static_cast<float>(std::max(1, d.viewport.height)));
    if (L[GFX_LU_VIEWPORT] >= 0)
        glProgramUniform4f(p, L[GFX_LU_VIEWPORT], static_cast<float>(d.viewport.x),
                           static_cast<float>(d.viewport.y),
                           static_cast<float>(std::max(1, d.viewport.width)),
                           static_cast<float>(std::max(1, d.viewport.height)));
}

void upload_light(GfxStageProgram* sh)
{
    const GfxDevice& d = gfx_dev;
    const auto& L = sh->loc;
    GLuint p = sh->program;
    // Direction towards the light, in view space (Direct3D lights live in
    // world space and are lit in camera space).
    const float* v = d.xform[GFX_TS_VIEW].data();
    const float* dir = d.light.direction;
    float lx = -(dir[0] * v[0] + dir[1] * v[4] + dir[2] * v[8]);
    float ly = -(dir[0] * v[1] + dir[1] * v[5] + dir[2] * v[9]);
    float lz = -(dir[0] * v[2] + dir[1] * v[6] + dir[2] * v[10]);
    float len = std::sqrt(lx * lx + ly * ly + lz * lz);
    if (len > 0) lx /= len, ly /= len, lz /= len;
    bool on = d.light_on && d.light.type == GFX_LIGHT_DIRECTIONAL;
    auto col = [&](GLint loc, const GfxColorF& c, bool use) {
        if (loc >= 0)
            glProgramUniform4f(p, loc, use ? c.r : 0, use ? c.g : 0, use ? c.b : 0, use ? c.a : 0);
    };
    if (L[GFX_LU_LIGHTDIR] >= 0) glProgramUniform3f(p, L[GFX_LU_LIGHTDIR], lx, ly, lz);
    col(L[GFX_LU_LIGHTDIFFUSE], d.light.diffuse, on);
    col(L[GFX_LU_LIGHTSPECULAR], d.light.specular, on);
    col(L[GFX_LU_LIGHTAMBIENT], d.light.ambient, on);
    col(L[GFX_LU_MATDIFFUSE], d.material.diffuse, true);
    col(L[GFX_LU_MATAMBIENT], d.material.ambient, true);
    col(L[GFX_LU_MATSPECULAR], d.material.specular, true);
    col(L[GFX_LU_MATEMISSIVE], d.material.emissive, true);
    if (L[GFX_LU_MATPOWER] >= 0) glProgramUniform1f(p, L[GFX_LU_MATPOWER], d.material.power);
    if (L[GFX_LU_AMBIENT] >= 0) {
        float a[4];
        color4(d.rs[GFX_RS_AMBIENT], a);
        glProgramUniform4fv(p, L[GFX_LU_AMBIENT], 1, a);
    }
}

void upload_pixel(GfxStageProgram* sh)
{
    const GfxDevice& d = gfx_dev;
    const auto& L = sh->loc;
    GLuint p = sh->program;
    auto& rs = d.rs;
    uint32_t func = rs[GFX_RS_ALPHATESTENABLE] ? rs[GFX_RS_ALPHAFUNC] : uint32_t{GFX_CMP_ALWAYS};
    if (func < GFX_CMP_NEVER || func > GFX_CMP_ALWAYS) func = GFX_CMP_ALWAYS;
    if (L[GFX_LU_ALPHAFUNC] >= 0)
        glProgramUniform1i(p, L[GFX_LU_ALPHAFUNC], static_cast<GLint>(func));
    if (L[GFX_LU_ALPHAREF] >= 0)
        glProgramUniform1f(p, L[GFX_LU_ALPHAREF], static_cast<float>(rs[GFX_RS_ALPHAREF] & 0xFF));
    bool fog = rs[GFX_RS_FOGENABLE] && (rs[GFX_RS_FOGTABLEMODE] == GFX_FOG_LINEAR ||
                                        rs[GFX_RS_FOGVERTEXMODE] == GFX_FOG_LINEAR);
    if (L[GFX_LU_FOGON] >= 0) glProgramUniform1i(p, L[GFX_LU_FOGON], fog ? 1 : 0);
    float c[4];
    color4(rs[GFX_RS_FOGCOLOR], c);
    if (L[GFX_LU_FOGCOLOR] >= 0) glProgramUniform4fv(p, L[GFX_LU_FOGCOLOR], 1, c);
    if (L[GFX_LU_FOGRANGE] >= 0)
        glProgramUniform2f(p, L[GFX_LU_FOGRANGE], as_float(rs[GFX_RS_FOGSTART]),
                           as_float(rs[GFX_RS_FOGEND]));
    color4(rs[GFX_RS_TEXTUREFACTOR], c);
    if (L[GFX_LU_TFACTOR] >= 0) glProgramUniform4fv(p, L[GFX_LU_TFACTOR], 1, c);
}

void upload_clip(GfxStageProgram* sh)
{
    if (sh->loc[GFX_LU_CLIPPLANE] < 0) return;
    // A disabled plane is uploaded as (0, 0, 0, 1), which keeps every
    // visible point, so that a clip distance left enabled in the driver's
    // view never cuts anything.
    float planes[GFX_MAX_CLIP_PLANES * 4];
    uint32_t mask = gfx_dev.rs[GFX_RS_CLIPPLANEENABLE];
    for (int i = 0; i < GFX_MAX_CLIP_PLANES; ++i) {
        if ((mask >> i) & 1)
            std::copy(gfx_dev.clip_plane[i].begin(), gfx_dev.clip_plane[i].end(), planes + i * 4);
        else
            planes[i * 4] = planes[i * 4 + 1] = planes[i * 4 + 2] = 0, planes[i * 4 + 3] = 1;
    }
    glProgramUniform4fv(sh->program, sh->loc[GFX_LU_CLIPPLANE], GFX_MAX_CLIP_PLANES, planes);
}
}  // namespace

void gfx_shader_upload_layer_uniforms(GfxStageProgram* sh)
{
    const GfxDevice& d = gfx_dev;
    typedef void (*Upload)(GfxStageProgram*);
    static const Upload k[4] = {upload_transform, upload_light, upload_pixel, upload_clip};
    for (int g = 0; g < 4; ++g) {
        if (sh->uploaded_serial[g] == d.serial[g]) continue;
        sh->uploaded_serial[g] = d.serial[g];
        k[g](sh);
    }
}
