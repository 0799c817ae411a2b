#include "import/InventoryCSV.h"

#include "base/File.h"
#include "base/Number.h"
#include "base/Text.h"
#include "model/RigError.h"

#include <optional>
#include <vector>

namespace rig::InventoryCSV {

namespace {

constexpr std::string_view bom = "\xEF\xBB\xBF";

// Removes byte-order marks, CR and spaces at both ends; tabs stay.
std::string_view trimPiece(std::string_view s) {
    for (;;) {
        if (s.starts_with(bom)) {
            s.remove_prefix(bom.size());
        } else if (!s.empty() && (s.front() == ' ' || s.front() == '\r')) {
            s.remove_prefix(1);
        } else {
            break;
        }
    }
    for (;;) {
        if (s.ends_with(bom)) {
            s.remove_suffix(bom.size());
        } else if (!s.empty() && (s.back() == ' ' || s.back() == '\r')) {
            s.remove_suffix(1);
        } else {
            break;
        }
    }
    return s;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t semi = line.find(';', start);
        if (semi == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, semi - start));
        start = semi + 1;
    }
}

void addRow(std::string_view piece, bool first, std::vector<InventoryItem>& rows) {
    const std::string_view line = trimPiece(piece);
    if (line.empty()) return;
    if (first && toLower(line).starts_with("category")) return;
    const auto fields = splitFields(line);
    if (fields.size() < 4) return;
    const auto quantity = parseInteger(trimWhite(fields[1]));
    if (!quantity) return;
    InventoryItem item;
    item.category = trimWhite(fields[0]);
    item.quantity = *quantity;
    item.family = trimWhite(fields[2]);
    item.product = trimWhite(fields[3]);
    if (fields.size() >= 5) item.description = trimWhite(fields[4]);
    if (fields.size() >= 6) item.ampChannels = parseInteger(trimWhite(fields[5]));
    rows.push_back(std::move(item));
}

List<InventoryItem> parseValid(std::string_view text, const std::stop_token& stop) {
    std::vector<InventoryItem> rows;
    // CR LF read as two breaks would only add an empty line, and empty lines are skipped.
    LineSplitter lines(text);
    std::size_t count = 0;
    while (auto line = lines.next()) {
        if (count % 4096 == 0) throwIfCancelled(stop);
        addRow(*line, count == 0, rows);
        ++count;
    }
    return List<InventoryItem>(std::move(rows));
}

} // namespace

List<InventoryItem> parseText(std::string_view text, std::stop_token stop) {
    if (isValidUtf8(text)) return parseValid(text, stop);
    return parseValid(decodeUtf8Lossy(text), stop);
}

List<InventoryItem> parse(const std::filesystem::path& path, std::stop_token stop) {
    throwIfCancelled(stop);
    return parseText(readFile(path, maxFileBytes), std::move(stop));
}

} // namespace rig::InventoryCSV
