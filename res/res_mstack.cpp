// The resource manager's matrix stack, and the bone-tree walks that run on it:
// a node's world matrix, and the nodes below a named one.
#include "res/res_local.h"

#include <cstring>

#include "math/vm_types.h"

using namespace res_local;

// ==== matrix stack ======================================================================================

namespace {

// The stream walks of the bone queries: the stack level the walk started on is
// its floor, and pushes that found the stack full are counted so that their
// pops are ignored too; the depth is restored exactly at the end.
struct StackWalk {
    int entry = g.mdepth;
    int pushed = 0, ignored = 0;
    bool push()
    {
        if (g.mdepth >= RES_MATRIX_STACK_DEPTH - 1) {
            ignored++;
            return false;
        }
        res_mstack_push();
        pushed++;
        return true;
    }
    void pop()
    {
        if (ignored)
            ignored--;
        else if (pushed > 1) {  // never below the walk's own first level
            res_mstack_pop();
            pushed--;
        }
    }
    ~StackWalk()
    {
        while (g.mdepth > entry) res_mstack_pop();
    }
};

// Finds the named node's token; depth counts push levels from the start.
bool find_node(ByteSpan d, const char* node, uint32_t& pos, int& depth)
{
    NameHash want = name_hash(node);
    BoneTok t;
    depth = 0;
    pos = 0;
    while (chunk_bone_next(d, pos, t)) {
        if (t.kind == CHUNK_BONE_TOK_PUSH)
            depth++;
        else if (t.kind == CHUNK_BONE_TOK_POP)
            depth--;
        else if (t.kind == CHUNK_BONE_TOK_NODE && t.name_off &&
                 chunk_rd_u32_or0(d, t.hash_off) == want) {
            const char* n = chunk_rd_name(d, t.name_off);
            if (n && std::strcmp(n, node) == 0) return true;
        }
    }
    return false;
}

// Calls visit(name) for each node below the named one within the limit, in
// stream order, until visit answers false.
template <typename Visit>
void walk_below(ResHandle h, const char* node, uint32_t limit, Visit visit)
{
    ByteSpan d = res_data(RES_BONE, h);
    uint32_t pos;
    int base;
    if (d.empty() || !node || !find_node(d, node, pos, base)) return;
    int depth = base;
    BoneTok t;
    while (chunk_bone_next(d, pos, t)) {
        if (t.kind == CHUNK_BONE_TOK_PUSH) {
            depth++;
        } else if (t.kind == CHUNK_BONE_TOK_POP) {
            if (--depth < base) return;
        } else if (t.kind == CHUNK_BONE_TOK_NODE) {
            if (depth <= base) return;
            if ((limit == 0 || uint32_t(depth - base) <= limit) &&
                !visit(chunk_rd_name(d, t.name_off)))
                return;
        }
    }
}

}  // namespace

void res_mstack_init()
{
    g.mdepth = 0;
    std::memcpy(g.mstack[0], VM_MAT_IDENTITY.m, sizeof VM_MAT_IDENTITY.m);
}

void res_mstack_push()
{
    if (g.mdepth >= RES_MATRIX_STACK_DEPTH - 1) return;
    std::memcpy(g.mstack[g.mdepth + 1], g.mstack[g.mdepth], sizeof g.mstack[0]);
    g.mdepth++;
}

void res_mstack_pop()
{
    if (g.mdepth > 0) g.mdepth--;
}

void res_mstack_load(const float* m)
{
    std::memcpy(g.mstack[g.mdepth], m ? m : VM_MAT_IDENTITY.m, sizeof g.mstack[0]);
}

// A node's matrix goes on below its parent's: m first, then the top, so a
// walk from the root down composes child-to-world matrices.
void res_mstack_mul(const float m[16])
{
    res_env().mat_mul(g.mstack[g.mdepth], m, g.mstack[g.mdepth]);
}

float* res_mstack_top() { return g.mstack[g.mdepth]; }
float* res_mstack_below_top() { return g.mdepth > 0 ? g.mstack[g.mdepth - 1] : nullptr; }
int res_mstack_depth() { return g.mdepth; }

bool res_bone_node_world(ResHandle h, const char* node, float out[16])
{
    ByteSpan d = res_data(RES_BONE, h);
    if (d.empty() || !node || !out) return false;
    StackWalk walk;
    if (!walk.push()) return false;  // a full stack: nothing of the caller's is overwritten
    res_mstack_load(nullptr);
    NameHash want = name_hash(node);
    uint32_t pos = 0;
    BoneTok t;
    while (chunk_bone_next(d, pos, t)) {
        if (t.kind == CHUNK_BONE_TOK_MATRIX) {
            float m[16];
            chunk_rd_f32s(d, t.matrix_off, m, 16);
            res_mstack_mul(m);
        } else if (t.kind == CHUNK_BONE_TOK_PUSH) {
            walk.push();
        } else if (t.kind == CHUNK_BONE_TOK_POP) {
            walk.pop();
        } else if (t.name_off && chunk_rd_u32_or0(d, t.hash_off) == want) {
            const char* n = chunk_rd_name(d, t.name_off);
            if (n && std::strcmp(n, node) == 0) {
                std::memcpy(out, res_mstack_top(), 16 * sizeof(float));
                return true;
            }
        }
    }
    return false;
}

uint32_t res_bone_count_below(ResHandle h, const char* node, uint32_t limit)
{
    uint32_t n = 0;
    walk_below(h, node, limit, [&](const char*) {
        n++;
        return true;
    });
    return n;
}

const char* res_bone_name_below(ResHandle h, const char* node, uint32_t n, uint32_t limit)
{
    const char* found = nullptr;
    uint32_t i = 0;
    walk_below(h, node, limit, [&](const char* name) {
        if (i++ != n) return true;
        found = name;
        return false;
    });
    return found;
}
