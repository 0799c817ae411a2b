// Kept to C++17: PDFPages.cpp includes qpdf's document headers, built as C++17 under clang.
// The decoded content of every page of a PDF, one page at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rig::PDFText::detail {

struct PageLimits {
    std::size_t pageBytes = 0;     // decoded content of one page, at most
    std::size_t documentBytes = 0; // decoded content of all pages together, at most
    std::uint64_t fileBytes = 0;   // the file itself, at most
};

// Called before each page is decoded; it may throw to stop the whole read.
using PageCheckpoint = std::function<void()>;
// Called with each page's decoded content (page 1 first). The view is valid during the call
// only; what the call throws goes to the caller of readPages.
using PageHandler = std::function<void(std::int64_t page, std::string_view content)>;

// What kept a page from being read whole.
enum class PageTrouble {
    noContent,   // its content is missing from the file, or it has none
    undecodable, // its content does not decode
    cutShort,    // its compressed content ends before its end
    tooLarge,    // its content is larger than a page may be
    overBudget,  // the document's pages before it took up all a document may hold
    unscannable, // its content cannot be read as page content (the scanner's, not qpdf's)
    failsCheck,  // its compressed content fails its checksum: read, but it may be wrong
};

struct PageReport {
    std::int64_t page = 0;
    PageTrouble trouble = PageTrouble::noContent;
};

// What a read of the pages met, beside the pages handed on.
struct PagesRead {
    std::int64_t pages = 0;           // pages in the document's page list
    bool pageListDamaged = false;     // the list holds another number of pages than it says
    std::vector<PageReport> troubles; // in page order; only failsCheck pages were handed on
};

// Opens the PDF from the file (when `file` is set) or from `memory`, then hands every page
// whose content decodes within the limits to `handle`. Pages that do not decode, or that
// would pass a limit, are skipped; once the document's budget is spent the rest are skipped
// too. Each page not read whole goes to `read`, when given. Returns false when the document
// does not open; a file that is no regular file or is larger than its limit throws
// FileRefused.
bool readPages(const std::filesystem::path* file, std::string_view memory, const std::string& name,
               const PageLimits& limits, const PageCheckpoint& checkpoint, const PageHandler& handle,
               PagesRead* read = nullptr);

} // namespace rig::PDFText::detail
