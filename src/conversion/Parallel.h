#pragma once
// Work split over threads in one place: tasks 0..count-1 handed out in order to up to
// `threads` workers (the caller being one of them). The tasks know nothing of threads.

#include <algorithm>
#include <atomic>
#include <functional>
#include <sched.h>
#include <thread>
#include <vector>

// The processors this process may run on: fewer than the machine has when a scheduler
// (a cluster's job, a container, taskset) gives it only some.
inline int hardwareThreads()
{
    cpu_set_t allowed;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        return std::max(1, CPU_COUNT(&allowed));
    return std::max(1, int(std::thread::hardware_concurrency()));
}

inline void parallelFor(int count, int threads, const std::function<void(int)> &task)
{
    threads = std::clamp(threads, 1, std::max(1, count));
    std::atomic<int> next{0};
    auto worker = [&] {
        for (int i = next++; i < count; i = next++)
            task(i);
    };
    std::vector<std::thread> helpers;
    helpers.reserve(size_t(threads - 1));
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(worker);
    worker();
    for (auto &h : helpers)
        h.join();
}
