#pragma once

#include <QObject>
#include <QPointer>
#include <concepts>
#include <memory>
#include <utility>

namespace pelliqo {

// Wraps work handed from one queue to another so that it holds its owner weakly and does
// nothing once the owner is gone. The work receives the owner as a reference.
template <class Owner, class Work>
auto weakly(const std::shared_ptr<Owner>& owner, Work work) {
    return [weak = std::weak_ptr<Owner>(owner), work = std::move(work)]() mutable {
        if (auto alive = weak.lock()) work(*alive);
    };
}

// QPointer is only safe to test on the object's own thread, so run this form there (the
// main thread for models).
template <class Owner, class Work>
requires std::derived_from<Owner, QObject>
auto weakly(Owner* owner, Work work) {
    return [weak = QPointer<Owner>(owner), work = std::move(work)]() mutable {
        if (Owner* alive = weak.data()) work(*alive);
    };
}

}  // namespace pelliqo
