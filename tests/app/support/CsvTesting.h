// An RFC 4180 reader for the CSV files the program writes, written apart from the writer.
// Records end in LF; a quoted field may hold the delimiter, line breaks and doubled quotes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rig::app::testing {

using CsvRecords = std::vector<std::vector<std::string>>;

// None when the text is not well-formed (unterminated quote, text after a closing quote, no last LF).
std::optional<CsvRecords> readCsv(std::string_view text, char delimiter = ';');

} // namespace rig::app::testing
