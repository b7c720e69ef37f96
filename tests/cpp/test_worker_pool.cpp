// Nesting, ordering and error propagation of the worker pool, below what Python sees.
#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "check.hpp"
#include "utils/worker_pool.hpp"

using cpptest::expect;
using skyrift::WorkerPool;

int main() {
    WorkerPool& pool = WorkerPool::instance();
    expect(pool.workers() >= 1, "at least one worker");
    pool.parallel_for(0, [](std::size_t) { cpptest::fail("body run for n = 0"); });

    // Three levels of nesting, more tasks than threads at every level: each index once.
    std::vector<std::atomic<int>> hits(20 * 30 * 7);
    pool.parallel_for(20, [&](std::size_t i) {
        pool.parallel_for(30, [&](std::size_t j) {
            pool.parallel_for(7, [&](std::size_t k) { hits[(i * 30 + j) * 7 + k].fetch_add(1); });
        });
    });
    bool once = true;
    for (auto& h : hits) once = once && h.load() == 1;
    expect(once, "every nested index runs exactly once");

    const std::vector<std::size_t> squares = skyrift::parallel_map(1000, [](std::size_t i) { return i * i; });
    bool ordered = true;
    for (std::size_t i = 0; i < squares.size(); ++i) ordered = ordered && squares[i] == i * i;
    expect(ordered, "parallel_map keeps input order");

    // A throwing task does not stop the others; the caller sees the exception afterwards.
    std::atomic<int> ran{0};
    bool thrown = false;
    try {
        pool.parallel_for(50, [&](std::size_t i) {
            ran.fetch_add(1);
            if (i == 17) throw std::runtime_error("task 17");
        });
    } catch (const std::runtime_error&) {
        thrown = true;
    }
    expect(thrown && ran.load() == 50, "exception rethrown after every task ran");
    pool.parallel_for(4, [&](std::size_t) { ran.fetch_add(1); });
    expect(ran.load() == 54, "pool usable after an exception");

    return cpptest::finish("worker pool");
}
