#pragma once

#include <string>

#include "errors/PlatformError.h"

namespace pelliqo {

// The program's own error kinds: a finished sentence for the user, or a cancellation.
class AppErr {
  public:
    static AppErr message(std::string text) { return AppErr(Kind::message, std::move(text)); }
    static AppErr cancelled() { return AppErr(Kind::cancelled, {}); }

    bool isCancelled() const { return kind_ == Kind::cancelled; }
    // The carried sentence, or "Cancelled.".
    std::string errorDescription() const;

    // How an AppErr appears wherever any error is expected.
    operator PlatformError() const;

    bool operator==(const AppErr&) const = default;

  private:
    enum class Kind { message, cancelled };
    AppErr(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}

    Kind kind_;
    std::string text_;
};

// True for the error an AppErr::cancelled() becomes, however it travelled.
bool isCancellation(const PlatformError& error);

}  // namespace pelliqo
