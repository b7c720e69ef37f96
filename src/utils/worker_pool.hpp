#pragma once
// The process-wide worker pool: one worker per processor available to the process,
// created on first use and kept for the life of the process.
//
// parallel_for nests: a thread waiting for its own tasks runs pending tasks (its own
// or anyone's) instead of blocking, so a task may itself call parallel_for on the
// same pool without risk of deadlock.
#include <cstddef>
#include <functional>
#include <vector>

namespace skyrift {

class WorkerPool {
public:
    static WorkerPool& instance();

    std::size_t workers() const { return workers_; }

    // Runs body(0) ... body(n-1), each exactly once, on the pool and the calling thread;
    // returns when all have finished. An exception thrown by a body is rethrown here
    // (the first one) after the remaining tasks have run.
    void parallel_for(std::size_t n, const std::function<void(std::size_t)>& body);

    // Whether the calling thread is running a task of some parallel_for: a caller
    // with small pieces of work runs them inline then, since the pool's threads are
    // already busy with its siblings.
    static bool in_task();

    struct State;

private:
    explicit WorkerPool(std::size_t workers);
    std::size_t workers_;
    State* state_;  // never freed: the pool lives as long as the process
};

// Maps fn over 0 .. n-1 in parallel; results in index order, whatever the scheduling.
template <typename Fn>
auto parallel_map(std::size_t n, Fn&& fn) -> std::vector<decltype(fn(std::size_t{}))> {
    std::vector<decltype(fn(std::size_t{}))> out(n);
    WorkerPool::instance().parallel_for(n, [&](std::size_t i) { out[i] = fn(i); });
    return out;
}

// Processors in this process's affinity mask (at least 1).
std::size_t available_processors();

}  // namespace skyrift
