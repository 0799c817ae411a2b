// Reader of Soundvision's inventory export: ";"-separated rows of products and quantities.
#pragma once

#include "base/List.h"
#include "model/Report.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace rig::InventoryCSV {

// Reads the file (UTF-8, ill-formed bytes replaced); a failed read throws the system's error.
List<InventoryItem> parse(const std::filesystem::path& path);
// The rows of the text in line order; lines that make no row are skipped.
List<InventoryItem> parse(std::string_view text);
inline List<InventoryItem> parse(const std::string& text) {
    return parse(std::string_view(text));
}
inline List<InventoryItem> parse(const char* text) {
    return parse(std::string_view(text));
}

} // namespace rig::InventoryCSV
