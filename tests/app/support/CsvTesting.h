// An RFC 4180 reader for the CSV files the program writes, written apart from the writer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rig::app::testing {

using CsvRecords = std::vector<std::vector<std::string>>;

// Records end in LF; a quoted field may hold the delimiter, line breaks and doubled quotes. None when
// the text is not well-formed (unterminated quote, text after a closing quote, no last LF).
inline std::optional<CsvRecords> readCsv(std::string_view text, char delimiter = ';') {
    CsvRecords records;
    std::vector<std::string> record;
    std::string field;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '"' && field.empty()) {
            for (++i;; ++i) { // to the quote that is not doubled
                if (i >= text.size()) return std::nullopt;
                if (text[i] == '"' && !(i + 1 < text.size() && text[i + 1] == '"')) break;
                field += text[i];
                i += text[i] == '"';
            }
            if (++i < text.size() && text[i] != delimiter && text[i] != '\n') return std::nullopt;
            continue;
        }
        const char c = text[i++];
        if (c != delimiter && c != '\n') {
            field += c;
            continue;
        }
        record.push_back(std::exchange(field, {}));
        if (c == '\n') records.push_back(std::exchange(record, {}));
    }
    if (!record.empty() || !field.empty()) return std::nullopt;
    return records;
}

} // namespace rig::app::testing
