// Inventory CSV reader on arbitrary bytes.
#include "import/InventoryCSV.h"

#include "base/Text.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto rows = rig::InventoryCSV::parseText(text);
    for (const auto& row : rows) {
        // Model texts are always well-formed UTF-8, whatever the bytes were.
        for (const auto* t : {&row.category, &row.family, &row.product, &row.description}) {
            if (!rig::isValidUtf8(*t)) __builtin_trap();
        }
    }
    return 0;
}
