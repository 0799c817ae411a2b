#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace rig {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // Random (version 4) identifier.
    static Uuid random();
    // The 36-character hyphenated form, hex digits in either case.
    static std::optional<Uuid> parse(std::string_view text);
    // Upper-case hyphenated form.
    std::string str() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

} // namespace rig

template <>
struct std::hash<rig::Uuid> {
    std::size_t operator()(const rig::Uuid& u) const noexcept;
};
