#pragma once

#include <utility>
#include <variant>

#include "errors/PlatformError.h"

namespace pelliqo {

// A value or the error that prevented it.
template <class T>
class Result {
  public:
    Result(T value) : state_(std::move(value)) {}
    Result(PlatformError error) : state_(std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<0>(state_); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const PlatformError& error() const { return std::get<1>(state_); }

  private:
    std::variant<T, PlatformError> state_;
};

}  // namespace pelliqo
