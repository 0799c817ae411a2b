#include "import/InventoryCSV.h"

#include "base/File.h"
#include "base/Number.h"
#include "base/Text.h"
#include "import/ImportNotes.h"
#include "model/RigError.h"

#include <optional>
#include <stdexcept>
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

enum class Piece { row, blank, header, skipped };

Piece addRow(std::string_view piece, bool first, std::vector<InventoryItem>& rows) {
    const std::string_view line = trimPiece(piece);
    if (line.empty()) return Piece::blank;
    if (first && toLower(line).starts_with("category")) return Piece::header;
    const auto fields = splitFields(line);
    if (fields.size() < 4) return Piece::skipped;
    const auto quantity = parseInteger(trimWhite(fields[1]));
    if (!quantity) return Piece::skipped;
    InventoryItem item;
    item.category = trimWhite(fields[0]);
    item.quantity = *quantity;
    item.family = trimWhite(fields[2]);
    item.product = trimWhite(fields[3]);
    if (fields.size() >= 5) item.description = trimWhite(fields[4]);
    if (fields.size() >= 6) item.ampChannels = parseInteger(trimWhite(fields[5]));
    rows.push_back(std::move(item));
    return Piece::row;
}

// The line break that starts at `pos`, or 0 at the end of the text.
char32_t breakAt(std::string_view text, std::size_t pos) {
    return pos < text.size() ? nextCodePoint(text, pos) : 0;
}

// Why a skipped line is worth naming: a row that a damage turned (its quantity no number,
// bytes that are not UTF-8). Lines of fewer fields, a title say, are no rows and go unnamed.
std::optional<std::string> damagedRow(std::string_view line, bool lossy) {
    if (lossy && line.find("\uFFFD") != std::string_view::npos) return "it holds bytes that are not UTF-8";
    if (splitFields(line).size() >= 4 && !toLower(line).starts_with("category"))
        return "its quantity is no whole number";
    return std::nullopt;
}

// `lossy`: the text was decoded with ill-formed bytes replaced.
List<InventoryItem> parseValid(std::string_view text, const std::stop_token& stop, ImportNotes* notes,
                               bool lossy) {
    std::vector<InventoryItem> rows;
    // In a file of CR or LF lines, the other breaks stand inside rows (in a product's name,
    // say). They still split, as every line break does; what they cut off and makes no row
    // is named.
    const bool innerBreaks = notes && text.find_first_of("\r\n") != std::string_view::npos;
    // CR LF read as two breaks would only add an empty line, and empty lines are skipped.
    LineSplitter lines(text);
    std::size_t count = 0;
    char32_t before = 0;      // the break that ended the previous piece
    std::string_view unended; // the last piece with text, when no line break ends it
    while (auto line = lines.next()) {
        if (count % 4096 == 0) throwIfCancelled(stop);
        const Piece piece = addRow(*line, count == 0, rows);
        const char32_t after =
            breakAt(text, static_cast<std::size_t>(line->data() - text.data()) + line->size());
        ++count;
        if (piece != Piece::blank) unended = after != 0 ? std::string_view() : trimPiece(*line);
        if (!notes) continue;
        if (piece == Piece::skipped && innerBreaks && (isInnerLineBreak(before) || isInnerLineBreak(after))) {
            notes->add("skipped " + ImportNotes::quoted(trimPiece(*line)) + ": a line break (" +
                       ImportNotes::codePoint(isInnerLineBreak(after) ? after : before) +
                       ") inside a row splits it.");
        } else if (piece == Piece::skipped) {
            if (auto why = damagedRow(trimPiece(*line), lossy)) {
                notes->addMade([&] {
                    return "skipped line " + integerText(static_cast<std::int64_t>(count)) + ", " +
                           ImportNotes::quoted(trimPiece(*line)) + ": " + *why + ".";
                });
            }
        } else if (piece == Piece::row && lossy && line->find("\uFFFD") != std::string_view::npos) {
            notes->addMade([&] {
                return "line " + integerText(static_cast<std::int64_t>(count)) + ", " +
                       ImportNotes::quoted(trimPiece(*line)) + ", holds bytes that are not UTF-8, read as " +
                       ImportNotes::codePoint(0xFFFD) + ".";
            });
        }
        before = after;
    }
    // In a file of CR or LF lines, one cut short mid-line ends without a break, and its last
    // row may have lost the end of a field without a sign.
    if (innerBreaks && !unended.empty()) {
        notes->add("the last line, " + ImportNotes::quoted(unended) +
                   ", has no line end: the file may be cut short there.");
    }
    return List<InventoryItem>(std::move(rows));
}

} // namespace

List<InventoryItem> parseText(std::string_view text, std::stop_token stop, ImportNotes* notes) {
    if (isValidUtf8(text)) return parseValid(text, stop, notes, false);
    return parseValid(decodeUtf8Lossy(text), stop, notes, true);
}

List<InventoryItem> parse(const std::filesystem::path& path, std::stop_token stop, ImportNotes* notes) {
    throwIfCancelled(stop);
    const std::string bytes = readFile(path, maxFileBytes);
    const std::string name = fileNameOf(path);
    if (auto why = whyNotText(bytes)) throw std::runtime_error(name + " " + *why + ".");
    List<InventoryItem> rows = parseText(bytes, std::move(stop), notes);
    // An empty list would replace the inventory with nothing and agree with no report.
    if (rows.empty()) {
        if (trimWhite(bytes).empty()) throw std::runtime_error(name + " is empty.");
        throw std::runtime_error(name + ": no inventory row found \u2013 it may be cut short, or not "
                                        "Soundvision\u2019s inventory export.");
    }
    return rows;
}

} // namespace rig::InventoryCSV
