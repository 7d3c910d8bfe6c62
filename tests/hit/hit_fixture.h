// Hit checks on a booted resource manager: test collision models from the
// data writer, registered as collision entries.
#pragma once

#include <gtest/gtest.h>

#include "hit/balls_hit.h"
#include "hit/hit.h"
#include "hit/hitcyl.h"
#include "math/vm_mat.h"
#include "math/vm_vec.h"
#include "res/res.h"
#include "res/res_env.h"
#include "tools/qv_samples.h"

class HitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        res_env_set(res_env_defaults());
        res_env_test_clear_settings();
        for (auto [k, v] : {std::pair{"MAX_NR_SPHERE_HIT", "8"},
                            {"SZ_BUFF_SPHERE_HIT", "65536"},
                            {"SZ_BUFF_SPHERE_HITNAME", "512"},
                            {"SZ_BUFF_COLLISION", "4194304"}})
            res_env_test_set_setting(k, v);
        res_boot();
        hit_init();
        balls_hit_boot();
        hitcyl_init();
    }
    void TearDown() override { res_shutdown(); }

    static ResHandle coll(const qvw::CollDesc& d)
    {
        return res_coll_register("t", d.name.c_str(), qvw::coll_chunk(d));
    }
    static const CollGeom& geom(ResHandle h) { return *hit_geom_of(res_coll_get(h)); }
    static Mat44 at(float x, float y, float z)
    {
        Mat44 m;
        const Vec3 t = {x, y, z};
        return *vm_mat_translation(&m, &t);
    }
};
