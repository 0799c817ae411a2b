// The DXF reader's pair lists, for the library and its tests only.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace rig::DXFReader::detail {

using Codes = std::vector<std::pair<std::int64_t, std::string_view>>;

// One entity as read, before it is interpreted. The texts point into the text being read.
struct Entity {
    std::string_view type;
    Codes codes; // without the group-0 pair that opened the entity
};

// The value of the first pair with `code`, or none.
std::optional<std::string_view> value(std::int64_t code, const Codes& codes);
// The first pair with `code` as a decimal; 0 when absent or not a number.
double number(std::int64_t code, const Codes& codes);

} // namespace rig::DXFReader::detail
