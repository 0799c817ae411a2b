// Reader of Soundvision's loudspeaker DXF export: one record per inserted source block.
#pragma once

#include "import/ImportNotes.h"
#include "model/Report.h"

#include <cstdint>
#include <filesystem>
#include <stop_token>
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

// Geometry read from one file at most: segments (collapsed face edges included) and pickup
// markers (duplicates included). Past these, further geometry is skipped but the sources are
// still read. A crafted file that inserts one huge block many times would otherwise multiply
// its size in memory and time; real exports stay far below.
inline constexpr std::size_t maxSegments = 2'000'000;
inline constexpr std::size_t maxPickups = 100'000;

// The largest file read; real exports stay far below.
inline constexpr std::uint64_t maxFileBytes = 1'000'000'000;

// Reads and decodes the file (UTF-8, else ISO Latin-1). A file that cannot be read throws
// std::system_error with the system's error code; its message names the file, for example
// "Cannot read arrays.dxf: No such file or directory". What is no regular file, or is larger
// than maxFileBytes, throws FileRefused. A requested stop throws Cancelled.
// In a file of CR or LF lines, a VT, FF, NEL, LS or PS (and in a file of LF or CR LF lines,
// a lone CR) stands inside a line: what follows it up to the line's end is skipped, and
// named in `notes`; a block or insert whose name it cuts is skipped whole. A line that
// stands where a group code belongs but is no number is skipped alone, which brings pairs
// that a stray or missing line put out of step back in step, and is named in `notes` by its
// line number. A file that gives no source at all is said in `notes` too.
std::vector<DXFSource> parse(const std::filesystem::path& path, std::stop_token stop = {},
                             ImportNotes* notes = nullptr);
// The sources of a DXF text, sorted by index; what cannot be used is skipped.
std::vector<DXFSource> parseText(std::string_view text, std::stop_token stop = {},
                                 ImportNotes* notes = nullptr);

} // namespace DXFReader
} // namespace rig
