// The model object's hit target: made switched off, moving with the object's
// matrix, results over the chain, released with the object.
#include "hit_fixture.h"
#include "obj2d/obj.h"
#include "obj3d/mdlobj.h"

namespace {

class ModelHitTest : public HitTest {
protected:
    void SetUp() override
    {
        HitTest::SetUp();
        obj_module_init();
        obj3d_type_register();
    }
    void TearDown() override
    {
        obj_module_term();
        HitTest::TearDown();
    }
};

TEST_F(ModelHitTest, TargetFollowsTheMatrixAndDiesWithTheObject)
{
    const ResHandle ground = coll(qvw::sample_coll_ground());
    DrawObj* o = mdlobj_create(0, nullptr, 0, 81);
    ASSERT_NE(o, nullptr);
    mdlobj_set_hit(o, ground, 4);
    HitTarget* t = mdlobj_get_hit(o);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(mdlobj_hit_id(o), 0);
    const Vec3 p = {1, 20, 1}, down = {0, -40, 0};
    float h;
    EXPECT_EQ(hit_ground_below(&p, &h, nullptr, nullptr, 0, kHitAnyGroup), 0);  // starts off
    mdlobj_hit_enable(o, 1);
    ASSERT_EQ(hit_ground_below(&p, &h, nullptr, nullptr, 0, kHitAnyGroup), 1);
    EXPECT_NEAR(h, 0, 1e-3);
    EXPECT_EQ(hit_ground_below(&p, &h, nullptr, nullptr, mdlobj_hit_id(o), kHitAnyGroup), 0);
    mdlobj_matrix(o)->m[13] = 6;  // the object moves up: so does its target
    ASSERT_EQ(hit_ground_below(&p, &h, nullptr, nullptr, 0, kHitAnyGroup), 1);
    EXPECT_NEAR(h, 6, 1e-3);

    hit_ray_add(&p, &down, 40, kHitAnyGroup, 1, 2);
    hit_frame();
    ASSERT_EQ(mdlobj_hit_result_count(o), 1u);
    HitResult r;
    ASSERT_EQ(mdlobj_hit_result(o, 0, &r), 1);
    EXPECT_NEAR(r.point.y, 6, 1e-3);
    EXPECT_EQ(r.next, nullptr);
    EXPECT_EQ(mdlobj_hit_result(o, 1, &r), 0);

    mdlobj_set_hit_sphere(o, nullptr, 2, 4);  // re-pointed, not a second target
    EXPECT_EQ(hit_target_count(), 1);
    mdlobj_hit_set_hittable(o, 0);
    EXPECT_EQ(hit_ray_fraction(&p, &down, &h, nullptr, nullptr, 0, kHitAnyGroup), 0);
    obj_free(o);
    EXPECT_EQ(hit_target_count(), 0);
}

}  // namespace
