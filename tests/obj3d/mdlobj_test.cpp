// The model object's records: levels, shader set, refusals of other types and
// unknown shader parameters, and the visible-bounds query.
#include "obj3d_fixture.h"

namespace {

using namespace o3t;

class ModelTest : public Obj3dScene {};

TEST_F(ModelTest, LevelsShaderSetAndRefusals)
{
    const ResHandle plain = make_cube("plain", 1.0f);
    const ResHandle nrm = make_mesh("nrm", {{{0, 0, 0}, {0, 0, -1}, {0, 1, 0}, 1, 0}}, false, 1u);
    DrawObj* o = mdlobj_create(0, nullptr, plain, 81);
    mdlobj_set_lods(o, nrm, 100.0f, plain, 0.0f);
    const ModelObj* m = mdlobj_work(o);
    EXPECT_EQ(std::pair(m->lods[0].mesh, m->lods[1].mesh), std::pair(plain, nrm));
    EXPECT_EQ(m->shader_set, 4);  // the far "NRM" mesh was given first
    mdlobj_refresh_shader_set(o);
    EXPECT_EQ(m->shader_set, 0);  // the first entry's mesh
    // Equal distances keep the given order; a pair without a mesh is dropped.
    mdlobj_set_lods(o, nrm, 5.0f, plain, 5.0f);
    EXPECT_EQ(m->lods[0].mesh, nrm);
    mdlobj_set_lods(o, 0, 1.0f, plain, 7.0f);
    EXPECT_EQ(std::pair(m->lods[0].mesh, m->lods[1].mesh), std::pair(plain, 0u));
    mdlobj_set_lods(o, 0, 0.0f, 0, 0.0f);
    EXPECT_EQ(mdlobj_lod_for(m, 1e9f), 0u);
    mdlobj_set_lods(o, plain, 0.0f, nrm, 100.0f);
    EXPECT_EQ(mdlobj_lod_for(m, 99.9f), plain);
    EXPECT_EQ(mdlobj_lod_for(m, 100.0f), nrm);
    // Only the motion object keeps its meshes in 16 bits: a model takes any handle.
    mdlobj_set_lods(o, 70000, 0.0f, 0, 0.0f);
    EXPECT_EQ(mdlobj_get_model(o), 70000u);

    // A draw object of another type is not a model: setters leave it alone.
    DrawObj* other = obj_alloc(0);
    ASSERT_NE(other, nullptr);
    mdlobj_set_lighting(other, 1);
    EXPECT_EQ(mdlobj_get_draw_param(other), 0u);
    EXPECT_EQ(mdlobj_is_culled(other, 0, nullptr, 1), 1);
    obj_free(other);
    const float v[4] = {1, 2, 3, 4};
    EXPECT_EQ(mdlobj_set_shader_f4(o, "NoSuchParameter", v, 1), 0);
    EXPECT_EQ(mdlobj_set_shader_f4(o, "x", nullptr, 1), 0);
    EXPECT_EQ(mdlobj_set_shader_f1(nullptr, "x", v, 1), 0);
}

TEST_F(ModelTest, VisibleBoundsCountsPassAModelsInTheFrustum)
{
    cam_update_all();
    Vec3 lo, hi;
    EXPECT_EQ(obj3d_visible_bounds(&lo, &hi, cam_get_xform_set(0)), 0);
    EXPECT_EQ(std::pair(lo.x, hi.x), std::pair(1e9f, -1e9f));
    const ResHandle cube = make_cube("cube", 1.0f);
    Mat44 a = at(0, 0, 10), b = at(2, 0, 20), c = at(0, 0, -30);
    DrawObj* oa = mdlobj_create(0, &a, cube, 81);
    DrawObj* ob = mdlobj_create(0, &b, cube, 81);
    DrawObj* oc = mdlobj_create(0, &c, cube, 81);
    mdlobj_create(0, &a, cube, 81);  // not in pass A
    for (DrawObj* o : {oa, ob, oc}) mdlobj_set_pass_a(o, 1);
    Render();  // the draw picks each object's mesh
    EXPECT_EQ(obj3d_visible_bounds(&lo, &hi, cam_get_xform_set(0)), 2);
    EXPECT_NEAR(lo.x, -1, 1e-4);
    EXPECT_NEAR(hi.x, 3, 1e-4);
    EXPECT_NEAR(lo.z, 9, 1e-4);
    EXPECT_NEAR(hi.z, 21, 1e-4);
    EXPECT_EQ(mdlobj_work(oa)->drawn_dp, mdlobj_work(oa)->dp);
}

}  // namespace
