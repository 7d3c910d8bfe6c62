// A local header: its functions are the module's own, its constants still carry the prefix.
#pragma once

int shared_helper();
enum LowDefault : int { DEF_A };
enum LowStep : int {
    LOW_STEP_A,
    STEP_B = (1 << 2),
};
