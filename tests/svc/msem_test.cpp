// Named counting semaphore: arguments, counts, processes, no lost wake-ups.
#include "svc/msem.h"
#include "child_proc.h"
#include "plat/error.h"
#include "plat/ipc.h"
#include "temp_dir.h"

#include <atomic>
#include <tuple>

namespace {

using namespace std::chrono_literals;

constexpr uid_t MSEM_TEST_SECOND_USER = 65534;  // nobody
constexpr uid_t MSEM_TEST_VICTIM_USER = 65533;  // a user of no name, not root

class MSemTest : public ::testing::Test {
protected:
    void SetUp() override { (void)plat_ipc_prefix(); }
};

TEST_F(MSemTest, BadArgumentsAreRefusedWithError87)
{
    const struct {
        int32_t initial, maximum;
        const char* name;
    } bad[] = {{0, 0, "a"}, {-1, 1, "a"}, {2, 1, "a"}, {0, 1, "seventeen_chars_x"}};
    for (const auto& c : bad) {
        plat_set_last_error(0);
        EXPECT_EQ(msem_create(c.initial, c.maximum, c.name), nullptr) << c.name;
        EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_INVALID_PARAMETER);
    }
    MSem* ok = msem_create(0, 1, "sixteen_chars_xx");
    EXPECT_NE(ok, nullptr);
    msem_close(ok);
    // Joining checks the name the same way.
    plat_set_last_error(0);
    EXPECT_EQ(msem_open("seventeen_chars_x"), nullptr);
    EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(!msem_open(nullptr) && !msem_open("nobody"));
    EXPECT_EQ(std::pair(msem_wait(nullptr, 0), msem_release(nullptr, 1, nullptr)),
              std::pair(uint32_t(MSEM_WAIT_FAILED), 0));
}

// Releases past the maximum are refused, huge ones without overflowing the count.
TEST_F(MSemTest, WaitTimeoutAndReleaseAndHugeReleasesDoNotOverflow)
{
    MSem* s = msem_create(1, 1, "sound");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(msem_wait(s, MSEM_INFINITE), MSEM_WAIT_TAKEN);
    EXPECT_EQ(msem_wait(s, 10), MSEM_WAIT_TIMEOUT);
    int32_t prev = -1;
    EXPECT_EQ(msem_release(s, 1, &prev), 1);
    EXPECT_EQ(prev, 0);
    EXPECT_EQ(msem_wait(s, 0), MSEM_WAIT_TAKEN);
    // Two units on a maximum of one: refused, nothing changes.
    plat_set_last_error(0);
    EXPECT_EQ(msem_release(s, 2, &prev), 0);
    EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(s->view->count, 0);
    EXPECT_EQ(msem_release(s, -1, nullptr), 0);
    msem_close(s);
    s = msem_create(1, INT32_MAX, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(msem_release(s, INT32_MAX, nullptr), 0);
    EXPECT_EQ(s->view->count, 1);
    EXPECT_EQ(msem_release(s, INT32_MAX - 1, nullptr), 1);
    EXPECT_EQ(msem_release(s, 1, nullptr), 0);
    msem_close(s);
}

// A second creator in another process joins the first's semaphore, and a wait on it through
// a handle opened by name is woken by the first's release.
TEST_F(MSemTest, ASecondCreatorJoinsAndAWaiterInAnotherProcessIsWokenByARelease)
{
    MSem* a = msem_create(2, 3, "shared");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(msem_wait(a, 0), MSEM_WAIT_TAKEN);
    const pid_t child = fork_child([] {
        MSem* b = msem_create(0, 1, "shared");  // joins: its own numbers are ignored
        MSem* c = msem_open("shared");
        if (!b || !c) return 10;
        const int32_t count = b->view->count, maximum = b->view->maximum;
        const bool took = msem_wait(b, 0) == MSEM_WAIT_TAKEN;
        const bool woken = msem_wait(c, 20000) == MSEM_WAIT_TAKEN;
        msem_close(c);
        msem_close(b);
        return count == 1 && maximum == 3 && took && woken ? 0 : 1;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(msem_release(a, 1, nullptr), 1);
    EXPECT_EQ(finish_child(child, 30s), 0);
    EXPECT_EQ(a->view->count, 0);
    msem_close(a);
}

TEST_F(MSemTest, UnitsReleasedTogetherReachEverySleeper)
{
    for (int round = 0; round < 20; ++round) {
        MSem* s = msem_create(0, 4, nullptr);
        ASSERT_NE(s, nullptr);
        std::atomic<int> taken{0};
        std::vector<std::thread> sleepers;
        for (int i = 0; i < 4; ++i)
            sleepers.emplace_back([&] {
                if (msem_wait(s, 20000) == MSEM_WAIT_TAKEN) ++taken;
            });
        // All asleep, all units at once: the auto-reset event's merged signals wake all four.
        while (true) {
            msem_lock(s);
            const uint32_t w = s->view->waiters;
            msem_unlock(s);
            if (w == 4) break;
            std::this_thread::yield();
        }
        EXPECT_EQ(msem_release(s, 4, nullptr), 1);
        for (auto& t : sleepers) t.join();
        EXPECT_EQ(std::tuple(taken.load(), s->view->count, s->view->waiters), std::tuple(4, 0, 0u))
            << "round " << round;
        msem_close(s);
    }
}

TEST_F(MSemTest, ManyThreadsNeverTakeMoreThanTheMaximum)
{
    MSem* s = msem_create(2, 2, "busy");
    ASSERT_NE(s, nullptr);
    msem_lock(s);  // the spin lock keeps a second thread out until it is let go
    std::atomic<bool> got{false};
    std::thread other([&] {
        msem_lock(s);
        got = true;
        msem_unlock(s);
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(got);
    msem_unlock(s);
    other.join();
    std::atomic<int> inside{0}, worst{0};
    std::vector<std::thread> ts;
    for (int i = 0; i < 6; ++i)
        ts.emplace_back([&] {
            for (int k = 0; k < 300; ++k) {
                ASSERT_EQ(msem_wait(s, MSEM_INFINITE), MSEM_WAIT_TAKEN);
                const int now = ++inside;
                int w = worst.load();
                while (now > w && !worst.compare_exchange_weak(w, now)) {}
                --inside;
                ASSERT_EQ(msem_release(s, 1, nullptr), 1);
            }
        });
    for (auto& t : ts) t.join();
    EXPECT_LE(worst.load(), 2);
    EXPECT_EQ(s->view->count, 2);
    msem_close(s);
}

// Another user who makes the shared-memory names of the victim's semaphore first, in /dev/shm and
// in the shared temporary folder, denies the victim nothing: the semaphore is made, and a wait on
// it in a second process of the victim's is woken by a release.
TEST_F(MSemTest, AnotherUsersNamesInSharedPlacesDenyNoSemaphore)
{
    if (::geteuid() != 0) GTEST_SKIP() << "only root can run children as other users";
    TempDir t;
    const std::string shared = make_shared_folder(t.file("shared"));
    const std::string victim = "quorvel-" + std::to_string(MSEM_TEST_VICTIM_USER) + "-";
    std::vector<std::string> squatted;
    for (const char* kind : {"MMF", "EVT"}) {
        const std::string name = plat_ipc_prefix() + "QVX_MSECT_" + kind + "_sound";
        squatted.push_back("/dev/shm/" + victim + name);
        squatted.push_back(shared + "/quorvel-" + name + ".shm");
    }
    EXPECT_EQ(make_files_as_user(MSEM_TEST_SECOND_USER, squatted), 0);
    const std::string no_cache = t.file("no/cache");  // the victim cannot make it
    EXPECT_EQ(run_as_user(MSEM_TEST_VICTIM_USER,
                          [&shared, &no_cache] {
                              use_only_shared_folder(shared, no_cache);
                              MSem* s = msem_create(0, 1, "sound");
                              if (!s) return 1;
                              const pid_t child = fork_child([] {
                                  MSem* c = msem_open("sound");
                                  const bool woken = c && msem_wait(c, 20000) == MSEM_WAIT_TAKEN;
                                  msem_close(c);
                                  return woken ? 0 : 1;
                              });
                              const bool released = msem_release(s, 1, nullptr) == 1;
                              const int code = finish_child(child, 30s);
                              msem_close(s);
                              return released && code == 0 ? 0 : 2;
                          }),
              0);
    for (const std::string& path : squatted) std::filesystem::remove(path);
}

}  // namespace
