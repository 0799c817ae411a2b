// Reader of Soundvision's inventory export: ";"-separated rows of products and quantities.
#pragma once

#include "base/List.h"
#include "import/ImportNotes.h"
#include "model/Report.h"

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string_view>

namespace rig::InventoryCSV {

// The largest file read; a real inventory has a few hundred rows.
inline constexpr std::uint64_t maxFileBytes = 64'000'000;

// Reads the file (UTF-8, ill-formed bytes replaced). A file that cannot be read throws
// std::system_error with the system's error code; its message names the file, for example
// "Cannot read inventory.csv: No such file or directory". What is no regular file, or is
// larger than maxFileBytes, throws FileRefused. A requested stop throws Cancelled.
// Lines that a line break inside a row (U+2028, say) cut off and that make no row are
// named in `notes`.
List<InventoryItem> parse(const std::filesystem::path& path, std::stop_token stop = {},
                          ImportNotes* notes = nullptr);
// The rows of the text in line order; lines that make no row are skipped. The text has its
// own name, so that a path held in a string can never be read as content.
List<InventoryItem> parseText(std::string_view text, std::stop_token stop = {}, ImportNotes* notes = nullptr);

} // namespace rig::InventoryCSV
