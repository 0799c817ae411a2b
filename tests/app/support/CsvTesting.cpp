#include "support/CsvTesting.h"

namespace rig::app::testing {

std::optional<CsvRecords> readCsv(std::string_view text, char delimiter) {
    CsvRecords records;
    std::vector<std::string> record;
    std::string field;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '"' && field.empty()) {
            // Quoted field: runs to the quote that is not doubled.
            ++i;
            for (;;) {
                if (i >= text.size()) return std::nullopt;
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            if (i < text.size() && text[i] != delimiter && text[i] != '\n') return std::nullopt;
            continue;
        }
        const char c = text[i++];
        if (c == delimiter) {
            record.push_back(std::move(field));
            field.clear();
        } else if (c == '\n') {
            record.push_back(std::move(field));
            field.clear();
            records.push_back(std::move(record));
            record.clear();
        } else {
            field += c;
        }
    }
    if (!record.empty() || !field.empty()) return std::nullopt;
    return records;
}

} // namespace rig::app::testing
