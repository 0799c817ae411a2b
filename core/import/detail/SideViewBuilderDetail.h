// Vertex keys and connected bodies of the outline builder, for the library and its tests only.
#pragma once

#include "import/SideViewBuilder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace rig::SideViewBuilder::detail {

// Vertex key: metres x 10 000, rounded half away from zero (a 0.1 mm grid).
struct K {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t z = 0;
    friend bool operator==(const K&, const K&) = default;
};
struct KHash {
    std::size_t operator()(const K& k) const noexcept;
};

// The key of a point, or none when a coordinate cannot be made a 64-bit integer.
std::optional<K> key(const XYZ& p);

// Connected sets of segments; each body lists its vertices in order of first appearance.
// Segments with an end that has no key are left out.
std::vector<std::vector<XYZ>> bodies(const std::vector<Segment>& segments);

} // namespace rig::SideViewBuilder::detail
