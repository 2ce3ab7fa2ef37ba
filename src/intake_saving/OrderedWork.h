#pragma once
// The items of a list worked on by several threads at once and handed back in the list's
// order. Item i is started only while it lies fewer than `ahead` items past the one the
// consumer last asked for, so the work done ahead, and the memory it holds, stays bounded.
// The work knows nothing of threads beyond the worker it runs on and the stop flag.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

template <typename Result> class OrderedWork {
public:
    // work(index, worker, stop): worker is 0 to workers - 1 (for per-worker resources);
    // stop, once set, asks the work to end soon (its result is then thrown away).
    using Work = std::function<Result(int index, int worker, const std::atomic<bool> &stop)>;

    OrderedWork(int count, int workers, int ahead, Work work) : count_(count), ahead_(std::max(1, ahead)), work_(std::move(work))
    {
        workers = std::clamp(workers, 1, std::max(1, count));
        for (int worker = 0; worker < workers; ++worker)
            threads_.emplace_back([this, worker] { run(worker); });
    }

    ~OrderedWork()
    {
        stop();
        for (std::thread &thread : threads_)
            thread.join();
    }

    OrderedWork(const OrderedWork &) = delete;
    OrderedWork &operator=(const OrderedWork &) = delete;

    // Waits for the result of item index, asked for in order; none once stopped.
    std::optional<Result> take(int index)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        wanted_ = index;
        changed_.notify_all();
        changed_.wait(lock, [&] { return stopped_.load() || done_.count(index) > 0; });
        if (stopped_)
            return std::nullopt;
        Result result = std::move(done_.at(index));
        done_.erase(index);
        return result;
    }

    // Ends the work: nothing more starts, what runs is asked to end, take() answers none.
    void stop()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }

private:
    void run(int worker)
    {
        for (;;) {
            int index = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return stopped_.load() || next_ >= count_ || next_ < wanted_ + ahead_; });
                if (stopped_ || next_ >= count_)
                    return;
                index = next_++;
            }
            Result result = work_(index, worker, stopped_);
            const std::lock_guard<std::mutex> lock(mutex_);
            if (stopped_)
                return;
            done_.emplace(index, std::move(result));
            changed_.notify_all();
        }
    }

    const int count_;
    const int ahead_;
    const Work work_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> stopped_{false};
    int next_ = 0;   // the next item to start
    int wanted_ = 0; // the item the consumer waits for, or handles
    std::map<int, Result> done_;
    std::vector<std::thread> threads_;
};
