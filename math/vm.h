// The maths library in one include: records and identities (vm_types.h), pi
// (vm_const.h), sine table and fast square roots (vm_table.h), 3-vectors
// (vm_vec.h), 4x4 matrices (vm_mat.h), quaternions (vm_quat.h), transform
// records (vm_xform.h), 2D maths and overlap tests (vm_2d.h), point paths
// (vm_path.h), view maths (vm_view.h), colour words (vm_color.h) and the
// short-named small helpers (vm_small.h).
#pragma once

#include "math/vm_types.h"
#include "math/vm_const.h"
#include "math/vm_table.h"
#include "math/vm_vec.h"
#include "math/vm_mat.h"
#include "math/vm_quat.h"
#include "math/vm_xform.h"
#include "math/vm_2d.h"
#include "math/vm_path.h"
#include "math/vm_view.h"
#include "math/vm_color.h"
#include "math/vm_small.h"
