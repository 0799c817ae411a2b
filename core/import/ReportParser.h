// Turns the positioned text of a Soundvision report PDF into a Report.
#pragma once

#include "import/ImportNotes.h"
#include "import/PDFText.h"
#include "model/Report.h"

#include <filesystem>
#include <stop_token>
#include <vector>

namespace rig::ReportParser {

// Reads the PDF and parses it. Throws RigError::unreadable when the file does not open as a
// PDF (or when pages could not be read and no source was found),
// RigError::notSoundvision when no source is found, and Cancelled once `stop` has been
// requested (looked at between pages and between lines). Pages that could not be read are
// named in `notes`, and the sources read across them are marked possibly incomplete.
Report parse(const std::filesystem::path& path, std::stop_token stop = {}, ImportNotes* notes = nullptr);
// Text without source headings gives a report without sources; fails only with Cancelled.
Report parse(const std::vector<PDFTextItem>& items, std::stop_token stop = {});
// The same, for a document some pages of which were lost.
Report parse(const PDFText::Document& document, std::stop_token stop = {}, ImportNotes* notes = nullptr);

} // namespace rig::ReportParser
