// Model equality: texts by canonical equivalence, decimals numerically (NaN equals
// nothing), optionals equal when both absent or both equal, records by their own ==.
#pragma once

#include "base/Text.h"

#include <optional>
#include <string>
#include <type_traits>

namespace rig {

inline bool eq(const std::string& a, const std::string& b) {
    return textEqual(a, b);
}

template <class T>
requires(!std::is_same_v<T, std::string>) bool eq(const T& a, const T& b) {
    return a == b;
}

template <class T>
bool eq(const std::optional<T>& a, const std::optional<T>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a.has_value() || eq(*a, *b);
}

} // namespace rig
