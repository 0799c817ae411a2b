// An RFC 4180 reader for checking the CSV files the program writes, written apart from the
// writer. Records end in LF; a quoted field may hold the delimiter, line breaks and doubled
// quotes; a quote inside an unquoted field is kept as it is (as common readers do).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rig::app::testing {

using CsvRecords = std::vector<std::vector<std::string>>;

// None when the text is not well-formed: an unterminated quoted field, text after a closing
// quote, or a last record without its line end.
std::optional<CsvRecords> readCsv(std::string_view text, char delimiter = ';');

} // namespace rig::app::testing
