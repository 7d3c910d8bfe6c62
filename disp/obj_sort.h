// disp/obj_sort: the one sort of record pointers, shared by the draw-object
// manager (update and draw order, obj.cpp) and the 3D draw pass (depth and
// state order, obj3d/obj3d_draw.cpp): a quicksort without recursion finished
// by one insertion pass over the whole array.
#pragma once

#include <algorithm>
#include <span>
#include <utility>

// Ranges this short are not partitioned; the insertion pass orders them.
constexpr int OBJ_SORT_CUTOFF = 10;

// The pass that finishes the sort: each record moves left past the records it
// is strictly before, so equal keys keep their order in this pass.
template <class T, class Key, class Before>
void obj_sort_insertion_pass(T** a, int n, Key key, Before before)
{
    for (int k = 1; k < n; ++k) {
        T* r = a[k];
        const auto rk = key(r);
        int m = k;
        while (m > 0 && before(rk, key(a[m - 1]))) {
            a[m] = a[m - 1];
            --m;
        }
        a[m] = r;
    }
}

// Sorts a[0..n) so that no record is `before` one ahead of it; `key` reads a
// record's key, `before` compares two keys. It is no stable sort: the order
// it leaves among equal keys is part of the draw and update order, so these
// steps stay exactly as they are. The pivot is the middle record's key, fixed
// before the scan; of the two parts the larger is pushed on the caller's
// stacks (pairs of low and high indices) and the loop goes on with the
// smaller, so log2(n) entries suffice. A part that finds the stacks full is
// left to the insertion pass. Fewer than 2 records are left as they are.
template <class T, class Key, class Before>
void obj_sort_records(T** a, int n, Key key, Before before, std::span<int> stack_lo,
                      std::span<int> stack_hi)
{
    if (n < 2) return;
    const size_t room = std::min(stack_lo.size(), stack_hi.size());
    size_t sp = 0;
    int lo = 0, hi = n - 1;
    for (;;) {
        while (hi - lo > OBJ_SORT_CUTOFF) {
            const auto pivot = key(a[(lo + hi) / 2]);
            int i = lo, j = hi;
            for (;;) {
                while (before(key(a[i]), pivot)) ++i;
                while (before(pivot, key(a[j]))) --j;
                if (i >= j) break;
                std::swap(a[i], a[j]);
                ++i;
                --j;
            }
            int plo, phi;
            if (i - lo > hi - j) {
                plo = lo, phi = i - 1;
                lo = j + 1;
            } else {
                plo = j + 1, phi = hi;
                hi = i - 1;
            }
            if (phi - plo + 1 > OBJ_SORT_CUTOFF && sp < room) {
                stack_lo[sp] = plo;
                stack_hi[sp] = phi;
                ++sp;
            }
        }
        if (sp == 0) break;
        --sp;
        lo = stack_lo[sp];
        hi = stack_hi[sp];
    }
    obj_sort_insertion_pass(a, n, key, before);
}
