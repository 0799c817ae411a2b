// Kept to C++17: PdfJoin.cpp includes qpdf's document headers, built as C++17 under clang.
// One PDF made of several, as a printer that prints a long document in parts hands them over.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rig {

// The pages of `parts` in order, in one document that keeps the first part's document
// information (producer, dates). Each part's fonts and images come along with its pages.
// Nothing when there is no part or one of them is not a whole PDF with pages: a damaged part is
// not mended, as what could be saved of it would be pages missing or blank. `error` then says
// which part failed and why, in words for a message.
std::optional<std::string> joinPdfs(const std::vector<std::string_view>& parts, std::string* error = nullptr);

} // namespace rig
