// The shipped shader files: every record compiles on the device, and every
// stage's constant table holds the registers its sections declare.
#include <set>

#include "shader_fixture.h"

namespace {

const int kSectionOf[kShaderStageCount] = {SH_SEC_VERTEX, SH_SEC_SKIN_VERTEX, SH_SEC_PIXEL};

bool stage_knows(const ShaderStage& st, const std::string& name)
{
    for (const ShaderReg& r : st.regs)
        if (r.name == name && r.handle) return true;
    return false;
}

}  // namespace

using ShippedShaders = ShaderDevice;

TEST_F(ShippedShaders, EveryRecordCompilesTheStagesItsFileHasWithTheDeclaredRegisters)
{
    for (int row = 0; row < kShaderRecordCount; ++row) {
        ShaderFileText text;
        ASSERT_EQ(shader_file_read(shipped_shader_dir(), shader_row_file(row), &text), 1) << row;
        const ShaderRecord* rec = shader_get_record(row);
        ASSERT_NE(rec, nullptr);
        for (int st = 0; st < kShaderStageCount; ++st) {
            const bool has = text.section[kSectionOf[st]].present;
            EXPECT_EQ(rec->stage[st].shader != nullptr, has) << "row " << row << " stage " << st;
            EXPECT_EQ(rec->stage[st].loaded, has ? 1 : 0);
            // A stage section's own registers are all used by that stage.
            for (const ShaderDecl& d : text.section[kSectionOf[st]].decls) {
                EXPECT_TRUE(stage_knows(rec->stage[st], d.name)) << "row " << row << " " << d.name;
                EXPECT_NE(d.const_id, SH_C_NONE)
                    << "shipped files use engine constants: " << d.name;
            }
        }
        // Record 0 keeps the fixed-function vertex stage for plain meshes.
        if (row != 0) EXPECT_NE(rec->stage[SH_STAGE_VERTEX].shader, nullptr) << row;
        EXPECT_NE(rec->stage[SH_STAGE_SKIN_VERTEX].shader, nullptr) << row;
        EXPECT_NE(rec->stage[SH_STAGE_PIXEL].shader, nullptr) << row;
        // A common register is used by at least one stage.
        for (const ShaderDecl& d : text.section[SH_SEC_COMMON].decls) {
            bool any = false;
            for (const ShaderStage& st : rec->stage) any = any || stage_knows(st, d.name);
            EXPECT_TRUE(any) << "row " << row << " " << d.name;
        }
    }
}

TEST_F(ShippedShaders, PointLightRecordsDeclareTheirLightArrays)
{
    for (int row : {4, 5, 6, 7, 9, 10, 11, 12}) {
        const ShaderStage& ps = shader_get_record(row)->stage[SH_STAGE_PIXEL];
        EXPECT_TRUE(stage_knows(ps, "vPLPos")) << row;
        EXPECT_TRUE(stage_knows(ps, "vPLColor")) << row;
        GfxConstDesc d{};
        for (const ShaderReg& r : ps.regs)
            if (r.name == "vPLPos") ASSERT_EQ(gfx_const_desc(ps.shader, r.handle, &d), GFX_OK);
        EXPECT_EQ(d.count, row <= 7 ? row - 3 : row - 8) << row;
    }
}
