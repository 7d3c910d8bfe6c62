// A public header: what it exports carries the folder's prefix; five names here do not.
#pragma once

constexpr int LOW_SIZE = 4;
constexpr int low_count = 2;
int low_open(int a);
int open_all(int a);
int kept_as_given(int a);
const char* low_name(int a);
#define LOW_FLAG 1
#define FLAG_OTHER 2
#define LOW_TWICE(a) ((a)*2)
enum LowMode : int { LOW_MODE_A, MODE_B };
enum class LowKind { any, name };

namespace low_detail {
inline int helper(int a) { return a; }
}  // namespace low_detail

struct LowRecord {
    int member(int a);
    static constexpr int size = 3;
};

inline int low_twice(int a)
{
    constexpr int local = 2;
    return a * local;
}

// Another folder's prefix passes only in a kept name.
int near_kept(int a);
int near_open(int a);
