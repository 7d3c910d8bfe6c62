// A source file: its constants carry the prefix; two here do not.
#include "low/low.h"

namespace {
constexpr int STEP_ONE = 1;
constexpr int LOW_STEP = 2, OTHER_STEP = 3;
const char* const LOW_TEXT = R"(
#define NOT_READ 1
int not_read(int a) { return a; }
)";
}  // namespace

int low_open(int a) { return a + STEP_ONE + LOW_STEP + OTHER_STEP; }
