#include "utils/worker_pool.hpp"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace skyrift {

namespace {

// One parallel_for call: its indices are handed out one at a time under the pool mutex.
struct Batch {
    const std::function<void(std::size_t)>* body = nullptr;
    std::size_t size = 0;
    std::size_t next = 0;      // first index not yet claimed
    std::size_t finished = 0;  // indices whose body has returned
    std::exception_ptr error;
};

thread_local bool t_in_task = false;  // this thread is running a pool task body

}  // namespace

struct WorkerPool::State {
    std::mutex mutex;
    std::condition_variable changed;  // a batch was opened, or an index finished
    std::vector<Batch*> open;         // batches with unclaimed indices, oldest first

    // Claims one index, newest batch first so that nested work (the inner loops of a
    // running task) is finished before more outer tasks are started. Mutex held.
    bool claim(Batch*& batch, std::size_t& index, Batch* preferred) {
        if (preferred && preferred->next < preferred->size) {
            batch = preferred;
        } else if (!open.empty()) {
            batch = open.back();
        } else {
            return false;
        }
        index = batch->next++;
        if (batch->next == batch->size) std::erase(open, batch);
        return true;
    }

    // Runs one claimed index with the mutex released; re-locks before returning.
    void run(std::unique_lock<std::mutex>& lock, Batch* batch, std::size_t index) {
        lock.unlock();
        std::exception_ptr error;
        const bool was_in_task = t_in_task;
        t_in_task = true;
        try {
            (*batch->body)(index);
        } catch (...) {
            error = std::current_exception();
        }
        t_in_task = was_in_task;
        lock.lock();
        if (error && !batch->error) batch->error = error;
        if (++batch->finished == batch->size) changed.notify_all();
    }

    void worker_loop() {
        std::unique_lock lock(mutex);
        for (;;) {
            Batch* batch;
            std::size_t index;
            if (claim(batch, index, nullptr)) {
                run(lock, batch, index);
            } else {
                changed.wait(lock);
            }
        }
    }
};

std::size_t available_processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return static_cast<std::size_t>(count);
    }
    const unsigned hc = std::thread::hardware_concurrency();
    return hc > 0 ? hc : 1;
}

namespace {

std::atomic<WorkerPool*> g_pool{nullptr};
std::mutex g_create_mutex;

// A forked child has none of the parent's worker threads (and may have inherited a
// locked mutex): it starts a fresh pool on its first use instead.
void forget_pool_in_child() {
    g_pool.store(nullptr);
    new (&g_create_mutex) std::mutex();
}

}  // namespace

WorkerPool::WorkerPool(std::size_t workers) : workers_(workers), state_(new State) {
    for (std::size_t i = 0; i < workers_; ++i) {
        std::thread([s = state_] { s->worker_loop(); }).detach();
    }
}

WorkerPool& WorkerPool::instance() {
    if (WorkerPool* p = g_pool.load(std::memory_order_acquire)) return *p;
    std::lock_guard lock(g_create_mutex);
    if (WorkerPool* p = g_pool.load(std::memory_order_acquire)) return *p;
    static std::once_flag atfork_once;
    std::call_once(atfork_once, [] { pthread_atfork(nullptr, nullptr, forget_pool_in_child); });
    auto* pool = new WorkerPool(available_processors());
    g_pool.store(pool, std::memory_order_release);
    return *pool;
}

bool WorkerPool::in_task() { return t_in_task; }

void WorkerPool::parallel_for(std::size_t n, const std::function<void(std::size_t)>& body) {
    if (n == 0) return;
    Batch own;
    own.body = &body;
    own.size = n;
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    s.open.push_back(&own);
    s.changed.notify_all();
    while (own.finished < own.size) {
        Batch* batch;
        std::size_t index;
        // Waiting would block a thread that may be the only one able to make progress
        // on nested work, so run whatever is pending first.
        if (s.claim(batch, index, &own)) {
            s.run(lock, batch, index);
        } else {
            s.changed.wait(lock);
        }
    }
    lock.unlock();
    if (own.error) std::rethrow_exception(own.error);
}

}  // namespace skyrift
