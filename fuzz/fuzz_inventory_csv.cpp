// Inventory CSV reader on arbitrary bytes.
#include "import/InventoryCSV.h"

#include "base/Text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    rig::ImportNotes notes;
    const auto rows = rig::InventoryCSV::parseText(text, {}, &notes);
    for (const auto& row : rows) {
        // Model texts are always well-formed UTF-8, whatever the bytes were.
        for (const auto* t : {&row.category, &row.family, &row.product, &row.description}) {
            if (!rig::isValidUtf8(*t)) __builtin_trap();
        }
    }
    // Notes change nothing that is read, and are few, whole lines of well-formed text.
    if (rig::InventoryCSV::parseText(text) != rows) __builtin_trap();
    const auto lines = notes.lines();
    if (lines.size() > 11) __builtin_trap();
    for (const std::string& line : lines) {
        if (!rig::isValidUtf8(line) || line.find_first_of("\n\r") != std::string::npos) __builtin_trap();
    }
    return 0;
}
