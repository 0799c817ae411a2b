// Positioned text of a PDF: every shown string with the text line origin it was shown at
// and, inside a table, the cell rectangle around it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace rig {

// An axis-aligned rectangle; the ones kept by PDFText are standardised (width and height
// not negative, origin at the minimum corner).
struct PDFRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    // A negative width or height becomes positive and the origin moves to the minimum corner.
    static PDFRect standardized(double x, double y, double width, double height);

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    // Left and bottom edges are inside, right and top edges outside.
    bool contains(double px, double py) const {
        return minX() <= px && px < maxX() && minY() <= py && py < maxY();
    }

    friend bool operator==(const PDFRect& a, const PDFRect& b) {
        return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
    }
};

struct PDFTextItem {
    std::int64_t page = 0; // from 1
    double x = 0;          // line origin, no matrix applied
    double y = 0;          // y grows upwards
    std::string text;
    std::optional<PDFRect> cell;
};

namespace PDFText {

// A page of the document that was not read whole.
struct PageLoss {
    std::int64_t page = 0; // from 1
    // Nothing of the page was read; else its text was read but may be wrong.
    bool skipped = true;
    std::string reason; // "its content does not decode", ...
};

// A document's strings and what of it could not be read.
struct Document {
    std::vector<PDFTextItem> items;
    std::int64_t pages = 0;
    std::vector<PageLoss> losses; // in page order
    // The page list holds another number of pages than it says: pages may be missing
    // anywhere.
    bool pageListDamaged = false;
};

// As items(), with what was lost.
Document read(const std::filesystem::path& path, std::stop_token stop = {});
Document readFromMemory(std::string_view bytes, const std::string& name, std::stop_token stop = {});

// The strings of every page, page 1 first, each page in content-stream order.
// Throws RigError::unreadable(file name) when the file does not open as a PDF, FileRefused
// when it is no regular file or larger than maxFileBytes, and Cancelled when `stop` is
// requested (checked between pages).
std::vector<PDFTextItem> items(const std::filesystem::path& path, std::stop_token stop = {});
// The same for a PDF held in memory; `name` is used in the error.
std::vector<PDFTextItem> itemsFromMemory(std::string_view bytes, const std::string& name,
                                         std::stop_token stop = {});

// The text of a string operand's bytes: UTF-16BE (no byte-order mark handling) when the
// length is even and byte 0 or byte 2 is zero, else a PDF text string (UTF-16BE after
// FE FF, otherwise PDFDocEncoding).
std::string decodeString(std::string_view bytes);

// The largest file read; real reports stay far below.
inline constexpr std::uint64_t maxFileBytes = 1'000'000'000;
// Content of one page larger than this (after decompression) is not scanned.
inline constexpr std::size_t maxPageContentBytes = 16u << 20;
// Pages after the first this many decoded bytes of a document are skipped: a small file of
// compressed pages cannot take more time and memory than a real report ever needs.
inline constexpr std::size_t maxDocumentContentBytes = 256u << 20;

} // namespace PDFText

} // namespace rig
