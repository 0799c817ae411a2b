// The tokens of a page's content read two ways, so that one can be checked against the
// other: by the page scanner's own tokens and by qpdf's tokenizer alone. After the "ID"
// operator the image data up to "EI" is one token in both.
#pragma once

#include "import/detail/PDFTextDetail.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rig::test {

using ContentToken = std::pair<PDFText::detail::ContentTokens::Type, std::string>;

std::vector<ContentToken> scannerTokens(std::string_view content);
std::vector<ContentToken> qpdfTokens(std::string_view content);

} // namespace rig::test
