// The pool lists: which record a take hands out, give-backs from every place of
// the list in use, exhaustion, and owners' lists fed by the unlinked take.
#include "util/pool_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int POOL_LIST_TEST_RECORDS = 4;

struct PoolListRec {
    int value;
    PoolListRec *prev, *next;
};

struct PoolListPool {
    PoolListRec recs[POOL_LIST_TEST_RECORDS] = {};
    PoolListRec *free = nullptr, *used = nullptr;

    PoolListPool()
    {
        for (PoolListRec& r : recs) r = {99, &recs[1], &recs[2]};  // stale links from a last use
        pool_list_init(recs, POOL_LIST_TEST_RECORDS, free);
    }
    int index(const PoolListRec* r) const { return r ? int(r - recs) : -1; }
    // The record indices along a list; a prev link that does not lead back
    // to the record before (null on the free list) shows as -2.
    std::vector<int> walk(const PoolListRec* head, bool doubly) const
    {
        std::vector<int> out;
        const PoolListRec* before = nullptr;
        for (const PoolListRec* r = head; r && out.size() <= POOL_LIST_TEST_RECORDS; r = r->next) {
            out.push_back(r->prev == (doubly ? before : nullptr) ? index(r) : -2);
            before = r;
        }
        return out;
    }
    void take_all()
    {
        for (int i = 0; i < POOL_LIST_TEST_RECORDS; ++i) pool_list_take(free, used);
    }
};

TEST(PoolList, TakesInIndexOrderNewestFirstUntilExhausted)
{
    PoolListPool p;
    EXPECT_EQ(p.walk(p.free, false), (std::vector{0, 1, 2, 3}));
    std::vector<int> taken;
    for (int i = 0; i < POOL_LIST_TEST_RECORDS; ++i) {
        PoolListRec* r = pool_list_take(p.free, p.used);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->value, 0) << "a taken record is cleared";
        taken.push_back(p.index(r));
    }
    EXPECT_EQ(taken, (std::vector{0, 1, 2, 3}));
    EXPECT_EQ(p.walk(p.used, true), (std::vector{3, 2, 1, 0}));
    // Exhausted: nothing is handed out and neither list changes.
    EXPECT_EQ((std::tuple{pool_list_take(p.free, p.used), pool_list_take_unlinked(p.free), p.free}),
              std::tuple(nullptr, nullptr, nullptr));
    EXPECT_EQ(p.walk(p.used, true), (std::vector{3, 2, 1, 0}));
    // A take with a starting value copies it, links and all set afresh.
    pool_list_give(&p.recs[2], p.free, p.used);
    PoolListRec* r = pool_list_take(p.free, p.used, PoolListRec{7, &p.recs[0], &p.recs[0]});
    EXPECT_EQ(std::pair(p.index(r), r->value), std::pair(2, 7));
    EXPECT_EQ(p.walk(p.used, true), (std::vector{2, 3, 1, 0}));
}

TEST(PoolList, AGiveBackFromHeadMiddleOrTailIsTheNextTake)
{
    const struct {
        int give;
        std::vector<int> used_after;
    } cases[] = {{3, {2, 1, 0}}, {1, {3, 2, 0}}, {0, {3, 2, 1}}};
    for (const auto& c : cases) {
        PoolListPool p;
        p.take_all();
        pool_list_give(&p.recs[c.give], p.free, p.used);
        EXPECT_EQ(p.walk(p.used, true), c.used_after) << c.give;
        EXPECT_EQ(p.walk(p.free, false), std::vector{c.give}) << c.give;
        EXPECT_EQ(p.index(pool_list_take(p.free, p.used)), c.give) << c.give;
        EXPECT_EQ(p.index(p.used), c.give) << "taken again, it is the newest";
    }
    // Several give-backs come out again last first.
    PoolListPool p;
    p.take_all();
    for (int i : {1, 3, 0}) pool_list_give(&p.recs[i], p.free, p.used);
    EXPECT_EQ(p.walk(p.used, true), std::vector{2});
    EXPECT_EQ(p.walk(p.free, false), (std::vector{0, 3, 1}));
    for (int want : {0, 3, 1, -1}) EXPECT_EQ(p.index(pool_list_take(p.free, p.used)), want);
}

TEST(PoolList, UnlinkedTakesJoinAnOwnersListAndRecordsWithoutPrevAreLinkedInOrder)
{
    PoolListPool p;
    // An owner appends at the end of its own list, as the vector-animation
    // player's timelines are kept in start order.
    PoolListRec* owner = nullptr;
    PoolListRec* tail = nullptr;
    for (int i = 0; i < 3; ++i) {
        PoolListRec* r = pool_list_take_unlinked(p.free);
        ASSERT_NE(r, nullptr);
        EXPECT_TRUE(r->value == 0 && !r->prev && !r->next);
        (tail ? tail->next : owner) = r;
        r->prev = tail;
        tail = r;
    }
    EXPECT_EQ(p.walk(owner, true), (std::vector{0, 1, 2}));
    pool_list_give(&p.recs[1], p.free, owner);
    pool_list_give(&p.recs[0], p.free, owner);
    EXPECT_EQ(p.walk(owner, true), std::vector{2});
    EXPECT_EQ(p.walk(p.free, false), (std::vector{0, 1, 3}));
    // Records without a prev link (chains that are only walked forward) are
    // linked the same way.
    struct Node {
        Node* next;
    } nodes[3] = {};
    Node* free = nullptr;
    pool_list_init(nodes, 3, free);
    EXPECT_TRUE(free == &nodes[0] && nodes[0].next == &nodes[1] && nodes[1].next == &nodes[2] &&
                !nodes[2].next);
    pool_list_init(nodes, 0, free);
    EXPECT_EQ(free, nullptr);
}

}  // namespace
