// Reader of Soundvision's loudspeaker DXF export: one record per inserted source block.
#pragma once

#include "model/Report.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rig {

// One source block of the drawing, placed in world coordinates (metres).
struct DXFSource {
    std::int64_t index = 0; // the number in front of the block name
    std::string name;       // the rest of the block name, "_" read as " "
    XYZ insert;
    double rotation = 0; // degrees about the vertical axis
    std::vector<XYZ> pickups;
    std::vector<std::pair<XYZ, XYZ>> segments;
};

namespace DXFReader {

using Codes = std::vector<std::pair<std::int64_t, std::string_view>>;

// Geometry read from one file at most: segments (collapsed face edges included) and pickup
// markers (duplicates included). Past these, further geometry is skipped but the sources are
// still read. A crafted file that inserts one huge block many times would otherwise multiply
// its size in memory and time; real exports stay far below.
inline constexpr std::size_t maxSegments = 2'000'000;
inline constexpr std::size_t maxPickups = 100'000;

// One entity as read, before it is interpreted. The texts point into the text being read.
struct Entity {
    std::string_view type;
    Codes codes; // without the group-0 pair that opened the entity
};

// Reads and decodes the file (UTF-8, else ISO Latin-1). A failed read throws the system's
// error unchanged.
std::vector<DXFSource> parse(const std::filesystem::path& path);
// The sources of a DXF text, sorted by index; what cannot be used is skipped.
std::vector<DXFSource> parse(std::string_view text);
inline std::vector<DXFSource> parse(const std::string& text) {
    return parse(std::string_view(text));
}
inline std::vector<DXFSource> parse(const char* text) {
    return parse(std::string_view(text));
}

// The value of the first pair with `code`, or none.
std::optional<std::string_view> value(std::int64_t code, const Codes& codes);
// The first pair with `code` as a decimal; 0 when absent or not a number.
double number(std::int64_t code, const Codes& codes);

} // namespace DXFReader
} // namespace rig
