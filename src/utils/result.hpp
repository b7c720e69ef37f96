#pragma once
// Result<T>: a value or a GnssError. No exception crosses the core.
#include <utility>
#include <variant>

#include "utils/error.hpp"

namespace skyrift {

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(GnssError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const GnssError& error() const { return std::get<1>(state_); }

private:
    std::variant<T, GnssError> state_;
};

struct Ok {};  // value of Result<Ok> for operations that only succeed or fail

}  // namespace skyrift
