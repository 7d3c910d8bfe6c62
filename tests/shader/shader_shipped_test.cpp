// The shipped shader files compile, and each stage keeps the registers its sections declare.
#include "shader_fixture.h"

namespace {

const int SHADER_SHIPPED_SECTION_OF[SHADER_STAGE_COUNT] = {
    SHADER_SECTION_VERTEX, SHADER_SECTION_SKIN_VERTEX, SHADER_SECTION_PIXEL};

bool stage_knows(const ShaderStage& st, const std::string& name)
{
    for (const ShaderReg& r : st.regs)
        if (r.name == name && r.handle) return true;
    return false;
}

}  // namespace

using ShippedShaders = ShaderDevice;

TEST_F(ShippedShaders,
       EveryRecordCompilesTheStagesItsFileHasWithTheDeclaredRegistersAndItsLightArrays)
{
    for (int row = 0; row < SHADER_RECORD_COUNT; ++row) {
        ShaderFileText text;
        ASSERT_EQ(shader_file_read(shipped_shader_dir(), shader_row_file(row), &text), 1) << row;
        const ShaderRecord* rec = shader_get_record(row);
        ASSERT_NE(rec, nullptr);
        for (int st = 0; st < SHADER_STAGE_COUNT; ++st) {
            const bool has = text.section[SHADER_SHIPPED_SECTION_OF[st]].present;
            EXPECT_EQ(rec->stage[st].shader != nullptr, has) << "row " << row << " stage " << st;
            EXPECT_EQ(rec->stage[st].loaded, has ? 1 : 0);
            // A stage section's own registers are all used by that stage.
            for (const ShaderDecl& d : text.section[SHADER_SHIPPED_SECTION_OF[st]].decls) {
                EXPECT_TRUE(stage_knows(rec->stage[st], d.name)) << "row " << row << " " << d.name;
                EXPECT_NE(d.const_id, SHADER_CONST_NONE)
                    << "shipped files use engine constants: " << d.name;
            }
        }
        // Record 0 keeps the fixed-function vertex stage for plain meshes.
        EXPECT_TRUE(row == 0 || rec->stage[SHADER_STAGE_VERTEX].shader != nullptr) << row;
        EXPECT_NE(rec->stage[SHADER_STAGE_SKIN_VERTEX].shader, nullptr) << row;
        EXPECT_NE(rec->stage[SHADER_STAGE_PIXEL].shader, nullptr) << row;
        // Point-light records declare their light arrays, an element per light.
        const ShaderStage& ps = rec->stage[SHADER_STAGE_PIXEL];
        const int lights = row >= 4 && row <= 7 ? row - 3 : row >= 9 ? row - 8 : 0;
        GfxConstDesc d{};
        for (const ShaderReg& r : ps.regs)
            ASSERT_TRUE(r.name != "vPLPos" || gfx_const_desc(ps.shader, r.handle, &d) == GFX_OK);
        EXPECT_TRUE(!lights ||
                    (stage_knows(ps, "vPLPos") && stage_knows(ps, "vPLColor") && d.count == lights))
            << row;
        // A common register is used by at least one stage.
        for (const ShaderDecl& d : text.section[SHADER_SECTION_COMMON].decls) {
            bool any = false;
            for (const ShaderStage& st : rec->stage) any = any || stage_knows(st, d.name);
            EXPECT_TRUE(any) << "row " << row << " " << d.name;
        }
    }
}
