// Single-instance lock, named sections and events: shared between processes, bad names.
#include "plat/error.h"
#include "plat/ipc.h"

#include "child_proc.h"

namespace {

using namespace std::chrono_literals;

class PlatIpcTest : public ::testing::Test {
protected:
    // The prefix is fixed before any fork, so parent and child meet.
    void SetUp() override { (void)plat_ipc_prefix(); }
};

uint32_t* words(PlatSection* s) { return static_cast<uint32_t*>(plat_section_view(s)); }

TEST_F(PlatIpcTest, PrefixExpandsTheProcessId)
{
    EXPECT_NE(plat_ipc_prefix().find(std::to_string(::getpid())), std::string::npos);
}

TEST_F(PlatIpcTest, InstanceLockIsExclusiveUntilReleased)
{
    const int a = plat_instance_lock("inst");
    ASSERT_GE(a, 1);
    EXPECT_EQ(finish_child(fork_child([] { return plat_instance_lock("inst") == 0 ? 0 : 1; }), 10s),
              0);
    plat_instance_unlock(a);
    const int b = plat_instance_lock("inst");
    EXPECT_GE(b, 1);
    plat_instance_unlock(b);
}

TEST_F(PlatIpcTest, BadNamesAreRefusedWithError87)
{
    const std::string long_name(PLAT_IPC_NAME_MAX + 1, 'x');
    for (const char* bad : {"", "a/b", long_name.c_str()}) {
        plat_set_last_error(0);
        EXPECT_EQ(plat_instance_lock(bad), -1) << bad;
        EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_INVALID_PARAMETER);
        plat_set_last_error(0);
        EXPECT_EQ(plat_section_create(bad, 8, nullptr), nullptr);
        EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(plat_section_create("zero", 0, nullptr), nullptr);
}

TEST_F(PlatIpcTest, SectionIsSharedAndRemovedWithTheLastHolder)
{
    int existed = -1;
    PlatSection* a = plat_section_create("sec", 16, &existed);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(existed, 0);
    words(a)[1] = 0xABCD;
    PlatSection* b = plat_section_create("sec", 16, &existed);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(existed, 1);
    const pid_t child = fork_child([] {
        PlatSection* s = plat_section_open("sec", 16);
        if (!s) return 1;
        words(s)[2] = 77;
        plat_section_close(s);
        return 0;
    });
    EXPECT_EQ(finish_child(child, 10s), 0);
    EXPECT_EQ(words(a)[2], 77u);
    plat_section_close(a);
    plat_section_close(b);
    EXPECT_EQ(plat_section_open("sec", 16), nullptr);
    // Made anew: nobody held it, and it starts zeroed.
    PlatSection* c = plat_section_create("sec", 16, &existed);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(existed, 0);
    for (uint32_t i = 0; i < 4; i++) EXPECT_EQ(words(c)[i], 0u);
    plat_section_close(c);
}

TEST_F(PlatIpcTest, EventIsAutoResetAndWakesASleeperInAnotherProcess)
{
    PlatEvent* e = plat_event_create("ev");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(plat_event_wait(e, 0), PLAT_WAIT_TIMEOUT);
    plat_event_set(e);
    EXPECT_EQ(plat_event_wait(e, 0), PLAT_WAIT_OBJECT_0);
    EXPECT_EQ(plat_event_wait(e, 0), PLAT_WAIT_TIMEOUT);
    plat_event_set(e);
    plat_event_reset(e);
    EXPECT_EQ(plat_event_wait(e, 5), PLAT_WAIT_TIMEOUT);
    plat_event_close(e);
    e = plat_event_create("wake");
    ASSERT_NE(e, nullptr);
    const pid_t child = fork_child([] {
        PlatEvent* c = plat_event_open("wake");
        const uint32_t r = c ? plat_event_wait(c, 20000) : PLAT_WAIT_FAILED;
        plat_event_close(c);
        return r == PLAT_WAIT_OBJECT_0 ? 0 : 1;
    });
    std::this_thread::sleep_for(50ms);
    plat_event_set(e);
    EXPECT_EQ(finish_child(child, 30s), 0);
    plat_event_close(e);
}

}  // namespace
