#pragma once
// Borrow flag of mutable instances: shared for reads, exclusive for mutations.
// Conflicts arise only when another thread touches an instance while a call that
// released the interpreter lock holds it.
#include <atomic>

#include "python/support/errors.hpp"

namespace skyrift {

class BorrowFlag {
public:
    BorrowFlag() = default;
    BorrowFlag(const BorrowFlag&) {}  // copies of an instance start unborrowed
    BorrowFlag& operator=(const BorrowFlag&) { return *this; }

    void acquire_shared() {
        int current = state_.load();
        do {
            if (current < 0) raise_already_mutably_borrowed();
        } while (!state_.compare_exchange_weak(current, current + 1));
    }
    void release_shared() { state_.fetch_sub(1); }
    void acquire_exclusive() {
        int expected = 0;
        if (!state_.compare_exchange_strong(expected, -1)) raise_already_borrowed();
    }
    void release_exclusive() { state_.store(0); }

private:
    std::atomic<int> state_{0};  // >0: shared borrows, -1: exclusive
};

class SharedBorrow {
public:
    explicit SharedBorrow(BorrowFlag& f) : flag_(f) { flag_.acquire_shared(); }
    ~SharedBorrow() { flag_.release_shared(); }
    SharedBorrow(const SharedBorrow&) = delete;
    SharedBorrow& operator=(const SharedBorrow&) = delete;

private:
    BorrowFlag& flag_;
};

class ExclusiveBorrow {
public:
    explicit ExclusiveBorrow(BorrowFlag& f) : flag_(f) { flag_.acquire_exclusive(); }
    ~ExclusiveBorrow() { flag_.release_exclusive(); }
    ExclusiveBorrow(const ExclusiveBorrow&) = delete;
    ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;

private:
    BorrowFlag& flag_;
};

}  // namespace skyrift
