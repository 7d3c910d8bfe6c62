// The named semaphore guards every sound command: one uncontended wait and release, and a
// hand-over between two threads.
#include "svc/msem.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

void BM_MSemWaitRelease(benchmark::State& state)
{
    MSem* s = msem_create(1, 1, nullptr);
    for (auto _ : state) {
        msem_wait(s, MSEM_INFINITE);
        msem_release(s, 1, nullptr);
    }
    msem_close(s);
}
BENCHMARK(BM_MSemWaitRelease);

// Ping-pong: each iteration wakes a sleeping thread and is woken back.
void BM_MSemHandOver(benchmark::State& state)
{
    MSem* ping = msem_create(0, 1, nullptr);
    MSem* pong = msem_create(0, 1, nullptr);
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        while (msem_wait(ping, MSEM_INFINITE) == MSEM_WAIT_TAKEN && !stop)
            msem_release(pong, 1, nullptr);
    });
    for (auto _ : state) {
        msem_release(ping, 1, nullptr);
        msem_wait(pong, MSEM_INFINITE);
    }
    stop = true;
    msem_release(ping, 1, nullptr);
    peer.join();
    msem_close(ping);
    msem_close(pong);
}
BENCHMARK(BM_MSemHandOver);
