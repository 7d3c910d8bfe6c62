// View tests: a cleared work block for an 800 x 600 screen, and a seam recording the device.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <cmath>
#include <cstring>
#include <vector>

#include "disp/cam.h"
#include "disp/disp_dev_seam.h"
#include "disp/disp_env.h"
#include "disp/disp_fade.h"
#include "disp/disp_param.h"
#include "disp/disp_work.h"
#include "disp/fog.h"
#include "math/vm.h"
#include "math/vm_test_util.h"

struct DevLog {
    std::vector<std::pair<DispDevTransform, Mat44>> transforms;
    std::map<DispDevRs, uint32_t> states;  // the last value sent of each
    std::vector<DispDevLight> lights;
    std::vector<int> light_enables;
    std::vector<std::array<int, 3>> mode_requests;  // width, height, mode
    int mode = 0;

    static DevLog& get()
    {
        static DevLog log;
        return log;
    }
};

inline DispDevSeam recording_seam()
{
    DispDevSeam seam = {};
    seam.set_transform = [](DispDevTransform which, const Mat44* m) {
        DevLog::get().transforms.push_back({which, *m});
    };
    seam.set_render_state = [](DispDevRs rs, uint32_t v) { DevLog::get().states[rs] = v; };
    seam.set_light = [](int, const DispDevLight* l) { DevLog::get().lights.push_back(*l); };
    seam.light_enable = [](int, int on) { DevLog::get().light_enables.push_back(on); };
    seam.request_mode_change = [](int w, int h, int m) {
        DevLog::get().mode_requests.push_back({w, h, m});
    };
    seam.get_mode = [] { return DevLog::get().mode; };
    return seam;
}

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DevLog::get() = DevLog{};
        disp_dev_seam_set(recording_seam());
        disp_work_clear();
        disp_param_init(nullptr, 0, 800, 600, 32, nullptr);
        scene_set_defaults();
        cam_set_bounds_query(nullptr);
    }
    void TearDown() override
    {
        disp_dev_seam_reset();
        cam_set_bounds_query(nullptr);
    }
    DevLog& dev() { return DevLog::get(); }
};
