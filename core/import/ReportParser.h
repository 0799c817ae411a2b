// Turns the positioned text of a Soundvision report PDF into a Report.
#pragma once

#include "import/PDFText.h"
#include "model/Report.h"

#include <filesystem>
#include <stop_token>
#include <vector>

namespace rig::ReportParser {

// Reads the PDF and parses it. Throws RigError::unreadable when the file does not open as a
// PDF, RigError::notSoundvision when no source is found, and Cancelled once `stop` has been
// requested (looked at between pages and between lines).
Report parse(const std::filesystem::path& path, std::stop_token stop = {});
// Text without source headings gives a report without sources; fails only with Cancelled.
Report parse(const std::vector<PDFTextItem>& items, std::stop_token stop = {});

} // namespace rig::ReportParser
