// Draw-object manager without a device: fake types record what they are asked to draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>
#include <vector>

#include "disp/obj.h"

namespace {

struct Drawn {
    int type;
    std::vector<DrawObj*> run;
};
std::vector<Drawn> g_drawn;
std::vector<DrawObj*> g_updated;
int g_exit_calls = 0, g_release_calls = 0, g_link_release = 0, g_link_reset = 0;

template <int N>
void draw_fake(DrawObj** run, int count)
{
    g_drawn.push_back({N, std::vector<DrawObj*>(run, run + count)});
}
void exit_fake(DrawObj*) { ++g_exit_calls; }

int update_record(DrawObj* o)
{
    g_updated.push_back(o);
    return 0;
}

class ObjManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        obj_module_init();
        obj_set_links(ObjLinks{});
        g_drawn.clear();
        g_updated.clear();
        g_exit_calls = g_release_calls = g_link_release = g_link_reset = 0;
        ASSERT_EQ(obj_register_type(draw_fake<1>, nullptr, nullptr, nullptr, 0), 1);
        ASSERT_EQ(obj_register_type(draw_fake<2>, nullptr, nullptr, nullptr, 0), 2);
        ASSERT_EQ(obj_register_type(draw_fake<3>, nullptr, nullptr, nullptr, 0), 3);
        ASSERT_EQ(obj_register_type(draw_fake<4>, nullptr, exit_fake, nullptr, 0), 4);
    }
    void TearDown() override { obj_module_term(); }

    static DrawObj* make(int type, int prio, int subkey = 127, ResGroupId group = 1)
    {
        DrawObj* o = obj_alloc(group);
        obj_set_type(o, type);
        obj_set_priority(o, prio);
        obj_set_sort_subkey(o, subkey);
        obj_set_visible(o, 1);
        return o;
    }
    static std::vector<DrawObj*> drawn_order()
    {
        std::vector<DrawObj*> out;
        for (const Drawn& d : g_drawn) out.insert(out.end(), d.run.begin(), d.run.end());
        return out;
    }
};

TEST_F(ObjManager,
       FullPoolAnswersNullAndReusesTheFreedRecordAndRegistryFillsFifteenSlotsAndRefusesLargeWork)
{
    std::vector<DrawObj*> all;
    while (DrawObj* o = obj_alloc(1)) all.push_back(o);
    ASSERT_EQ(int(all.size()), OBJ_POOL_SIZE);
    EXPECT_EQ(obj_live_count(), OBJ_POOL_SIZE);
    obj_free(all[100]);
    EXPECT_EQ(obj_alloc(1), all[100]);
    EXPECT_EQ(obj_register_type(nullptr, nullptr, nullptr, nullptr, OBJ_TYPE_WORK_BYTES + 1), 0);
    for (int t = 5; t <= 15; ++t) EXPECT_EQ(obj_reserve_type(), t);
    EXPECT_EQ(obj_reserve_type(), 0);
    // A reset keeps the types; module init clears them.
    obj_system_reset();
    EXPECT_TRUE(obj_type_registered(15));
    obj_module_init();
    EXPECT_FALSE(obj_type_registered(1));
}

TEST_F(ObjManager, TypeIsSetOnceAndUnregisteredTypesAndOutOfRangePrioritiesAreIgnored)
{
    DrawObj* o = obj_alloc(1);
    for (int t : {9, 200, 2, 3}) obj_set_type(o, t);  // 9 unregistered, 200 beyond the table
    EXPECT_EQ(o->type, 2);
    EXPECT_EQ(o->base_key, (127u << 16) | (2u << 8));  // the subkey's default from the pool
    obj_set_visible(o, 1);
    for (int p : {40, 94, -62, 129}) obj_set_priority(o, p);
    EXPECT_EQ(std::tuple(o->prio, o->base_key >> 24), std::tuple(40, 40u));
    obj_build_draw_list();
    obj_draw_range(40, 40);
    ASSERT_EQ(g_drawn.size(), 1u);
}

TEST_F(ObjManager, DrawOrderFollowsPrioritySubkeyThenType)
{
    DrawObj* a = make(1, 10);
    DrawObj* b = make(3, 10);
    DrawObj* c = make(2, 10, 200);
    DrawObj* d = make(1, 50);
    DrawObj* e = make(3, 10, 20);
    obj_build_draw_list();
    ASSERT_EQ(obj_draw_list_count(), 5);
    obj_draw_all();
    EXPECT_EQ(drawn_order(), (std::vector<DrawObj*>{d, c, b, a, e}));
    // Runs: one per (priority, type) stretch.
    ASSERT_EQ(g_drawn.size(), 5u);
    EXPECT_EQ(std::pair(g_drawn[0].type, g_drawn[2].type), std::pair(1, 3));
}

TEST_F(ObjManager, EqualKeysOrderAsTheSortLeavesThemAndManyRandomKeysSortDescending)
{
    // Eleven equal keys stay in list order (newest first)...
    std::vector<DrawObj*> made;
    for (int i = 0; i < 11; ++i) made.push_back(make(2, 30));
    obj_build_draw_list();
    obj_draw_all();
    ASSERT_EQ(g_drawn.size(), 1u);
    EXPECT_EQ(g_drawn[0].run, std::vector<DrawObj*>(made.rbegin(), made.rend()));

    // ...twelve go through the partition step, which reverses them.
    g_drawn.clear();
    made.push_back(make(2, 30));
    obj_build_draw_list();
    obj_draw_all();
    ASSERT_EQ(g_drawn.size(), 1u);
    EXPECT_EQ(g_drawn[0].run, made);
    std::mt19937 rng(7);  // many random keys end up descending
    for (int i = 0; i < 3000; ++i) make(1 + int(rng() % 4), 60, int(rng() % 256));
    obj_build_draw_list();
    ASSERT_EQ(obj_draw_list_count(), 3012);
    DrawObj* const* list = obj_draw_list();
    for (int i = 1; i < 3012; ++i) ASSERT_GE(list[i - 1]->frame_key, list[i]->frame_key);
}

// Many objects on three keys: the sort is no stable one, and the order it
// leaves among equal keys is the order they draw and update in. Both orders
// are pinned as the sort gives them (indices in creation order).
TEST_F(ObjManager, ManyEqualKeysDrawAndUpdateInThePinnedOrder)
{
    constexpr int OBJ_TEST_EQUAL_COUNT = 40;
    std::mt19937 rng(11);
    std::vector<DrawObj*> made;
    for (int i = 0; i < OBJ_TEST_EQUAL_COUNT; ++i) {
        const int k = int(rng() % 3);
        DrawObj* o = make(2, 30, 100 + 20 * k);
        obj_set_update(o, update_record);
        obj_set_update_order(o, 60 + k);
        made.push_back(o);
    }
    auto indices = [&made](std::span<DrawObj* const> order) {
        std::vector<int> out;
        for (DrawObj* o : order)
            out.push_back(int(std::find(made.begin(), made.end(), o) - made.begin()));
        return out;
    };
    // Both lists hold the objects newest first, so both sorts see one input.
    const std::vector<int> pinned = {9,  12, 6,  16, 4,  22, 3,  28, 29, 39, 10, 8,  13, 37,
                                     18, 19, 35, 21, 30, 31, 27, 26, 25, 33, 23, 34, 5,  1,
                                     7,  0,  2,  11, 14, 15, 17, 20, 24, 32, 36, 38};
    obj_build_draw_list();
    ASSERT_EQ(obj_draw_list_count(), OBJ_TEST_EQUAL_COUNT);
    EXPECT_EQ(indices({obj_draw_list(), size_t(OBJ_TEST_EQUAL_COUNT)}), pinned);
    obj_frame();
    EXPECT_EQ(indices(g_updated), pinned);
}

TEST_F(ObjManager, UpdateOrderByOrderThenSuborderAndForEachVisitsLiveObjectsNewestFirst)
{
    DrawObj* a = make(1, 10);
    DrawObj* b = make(1, 10);
    DrawObj* c = make(1, 10);
    for (DrawObj* o : {a, b, c}) obj_set_update(o, update_record);
    obj_set_update_order(a, 200);
    obj_set_update_order(c, 126);  // after its owner, as attachments do
    obj_set_update_suborder(b, 130);
    obj_frame();
    EXPECT_EQ(g_updated, (std::vector<DrawObj*>{a, b, c}));
    EXPECT_EQ(std::pair(obj_update_list_count(), obj_frame_count()), std::pair(3, 1));
    obj_set_update(a, nullptr);  // keeps the callback
    EXPECT_EQ(a->update, update_record);
    obj_free(b);
    std::vector<DrawObj*> seen;
    obj_for_each(
        [](DrawObj* o, void* arg) { static_cast<std::vector<DrawObj*>*>(arg)->push_back(o); },
        &seen);
    EXPECT_EQ(seen, (std::vector<DrawObj*>{c, a}));
    obj_for_each(nullptr, nullptr);
}

DrawObj* g_victim = nullptr;
DrawObj* g_reborn = nullptr;
int free_victim_and_reuse(DrawObj* o)
{
    g_updated.push_back(o);
    obj_free(g_victim);
    g_reborn = obj_alloc(1);  // takes the victim's record again
    obj_set_update(g_reborn, update_record);
    return 0;
}
int ask_free(DrawObj* o)
{
    g_updated.push_back(o);
    return 1;
}

TEST_F(ObjManager, FreedAndReusedRecordIsNotCalledInTheSamePass)
{
    g_victim = make(1, 10);
    obj_set_update(g_victim, update_record);
    obj_set_update_order(g_victim, 10);  // called last
    DrawObj* killer = make(1, 10);
    obj_set_update(killer, free_victim_and_reuse);
    obj_frame();
    ASSERT_EQ(g_reborn, g_victim);
    EXPECT_EQ(g_updated, std::vector<DrawObj*>{killer});
    // The new object takes part from the next pass on.
    g_updated.clear();
    obj_set_update(killer, update_record);
    obj_frame();
    EXPECT_EQ(g_updated.size(), 2u);
}

TEST_F(ObjManager, NonzeroUpdateFreesAtOnceAndAKilledObjectLivesUntilTheEndOfItsFrame)
{
    DrawObj* a = make(4, 10);
    DrawObj* b = make(1, 10);
    obj_set_update(a, ask_free);
    obj_set_update(b, update_record);
    obj_kill(b);
    obj_frame();
    // The update stat counts the freed object and the live one.
    EXPECT_EQ(std::tuple(bool(obj_is_live(a)), g_exit_calls, obj_live_count(), obj_update_stat(),
                         obj_update_list_count()),
              std::tuple(false, 1, 1, 2, 1));
    obj_build_draw_list();
    obj_draw_all();
    EXPECT_EQ(g_updated.size(), 2u);  // both updated, the killed one is still drawn
    EXPECT_EQ(g_drawn.size(), 1u);
    obj_free_dead();
    EXPECT_EQ(obj_live_count(), 0);
}

TEST_F(ObjManager, HiddenLayerStillUpdatesAndSkipSuppressesExactlyOnePass)
{
    DrawObj* a = make(1, 10);
    obj_set_layer(a, 5);
    obj_set_update(a, update_record);
    obj_show_layer(5, 0);
    obj_skip_next_update();
    obj_frame();
    EXPECT_TRUE(g_updated.empty());
    obj_frame();
    obj_build_draw_list();
    EXPECT_EQ(std::tuple(obj_draw_list_count(), g_updated.size()), std::tuple(0, 1u));
}

void release_frees_self(DrawObj* o)
{
    ++g_release_calls;
    obj_free(o);
}

TEST_F(ObjManager, ReleaseCallbackRunsFirstAndOnceAndFreeIgnoresNullFreeAndForeignRecords)
{
    DrawObj* a = make(4, 10);
    obj_set_release(a, release_frees_self);
    obj_free(a);
    obj_free(a);
    obj_free(nullptr);
    DrawObj foreign = {};
    foreign.flags = OBJ_IN_USE;
    obj_free(&foreign);
    obj_kill(&foreign);
    obj_set_priority(&foreign, 10);
    EXPECT_EQ(std::tuple(g_release_calls, g_exit_calls, obj_live_count()), std::tuple(1, 1, 0));
    EXPECT_EQ(obj_alloc(1), a);  // on the free list exactly once
    EXPECT_NE(obj_alloc(1), a);
}

DrawObj* g_next_to_free = nullptr;
void release_frees_next(DrawObj*) { obj_free(g_next_to_free); }

// The release walk must not step onto a record the callback has just freed.
TEST_F(ObjManager, GroupReleaseSurvivesACallbackFreeingTheNextObject)
{
    ResGroupId g = group_alloc();
    DrawObj* other = make(1, 10, 127, 99);
    DrawObj* older = make(1, 10, 127, g);
    DrawObj* newer = make(1, 10, 127, g);
    g_next_to_free = older;  // the next one in the active list after `newer`
    obj_set_release(newer, release_frees_next);
    make(1, 10, 127, g);
    group_release(g);
    EXPECT_EQ(obj_live_count(), 1);
    EXPECT_TRUE(obj_is_live(other));
    EXPECT_EQ(group_count(), 1);  // the id stays allocated
}

TEST_F(ObjManager, GroupIdsAllocateLowestFirstAndReleaseUnlockedOnes)
{
    for (ResGroupId id : {1u, 2u, 3u}) EXPECT_EQ(group_alloc(), id);
    for (ResGroupId id : {1u, 1u, 0u}) group_free(id);
    EXPECT_EQ(group_count(), 2);
    EXPECT_EQ(group_alloc(), 1u);
    group_keep(2);
    for (ResGroupId id : {1u, 2u, 3u}) make(1, 10, 127, id);
    group_release_all_unlocked();
    EXPECT_EQ(std::pair(obj_live_count(), group_count()), std::pair(1, 1));
    EXPECT_EQ(group_alloc(), 1u);
    obj_system_reset();  // frees kept groups too
    EXPECT_EQ(group_count(), 0);
    EXPECT_EQ(group_alloc(), 1u);
}

TEST_F(ObjManager, GroupReleaseReachesLinkedModulesAndRecordsAndEachRecordIsHandedOutOnce)
{
    ObjLinks links;
    links.plight_release_group = [](ResGroupId id) { g_link_release += int(id); };
    links.plight_reset = [] { ++g_link_reset; };
    obj_set_links(links);
    ASSERT_TRUE(gmem_alloc(5) && gmem_alloc(6));
    group_release(5);
    EXPECT_EQ(std::pair(g_link_release, gmem_count()), std::pair(5, 1));
    obj_system_reset();
    EXPECT_EQ(std::pair(g_link_reset, gmem_count()), std::pair(1, 0));
    obj_set_links(ObjLinks{});
    // A record freed twice is not handed out twice.
    GroupMemRec* a = gmem_alloc(1);
    gmem_free(a);
    gmem_free(a);
    EXPECT_EQ(gmem_count(), 0);
    std::vector<GroupMemRec*> all = {gmem_alloc(1), gmem_alloc(1)};
    while (GroupMemRec* r = gmem_alloc(2)) all.push_back(r);
    EXPECT_EQ(int(all.size()), OBJ_GMEM_POOL_SIZE);
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
}

}  // namespace
