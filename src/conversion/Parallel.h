#pragma once
// Work split over threads in one place: tasks 0..count-1 handed out in order to up to
// `threads` workers (the caller being one of them). The tasks know nothing of threads.

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

inline int hardwareThreads()
{
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
