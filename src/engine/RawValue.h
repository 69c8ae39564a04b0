#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace pelliqo {

// Enumerations whose cases have string raw values equal to their names. A specialisation
// lists the names in declaration order, which is also the order pickers show them in.
template <class E>
struct RawValues;

template <class E>
constexpr std::string_view rawValue(E value) {
    return RawValues<E>::names[static_cast<std::size_t>(value)];
}

// Exact match, case included; nothing for an unlisted word.
template <class E>
constexpr std::optional<E> fromRawValue(std::string_view raw) {
    const auto& names = RawValues<E>::names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == raw) return static_cast<E>(i);
    }
    return std::nullopt;
}

template <class E>
constexpr auto allCases() {
    std::array<E, RawValues<E>::names.size()> cases{};
    for (std::size_t i = 0; i < cases.size(); ++i) cases[i] = static_cast<E>(i);
    return cases;
}

}  // namespace pelliqo
