// Kept to C++17: the file that includes qpdf's headers is built as C++17 under clang.
// Positioned text of a PDF: every shown string with the text line origin it was shown at
// and, inside a table, the cell rectangle around it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
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

class PDFText {
public:
    // The scan state of one page; a fresh one for every page (origin and leading start at 0).
    struct State {
        struct Shown {
            double x;
            double y;
            std::string text;
        };
        std::int64_t page = 0;
        double lineX = 0;
        double lineY = 0;
        double leading = 0;
        std::vector<PDFRect> rects; // every "re" of the page, standardised, in drawing order
        std::vector<Shown> raw;     // every shown string at the line origin of that moment
    };

    // The strings of every page, page 1 first, each page in content-stream order.
    // Throws RigError::unreadable(file name) when the file does not open as a PDF.
    static std::vector<PDFTextItem> items(const std::filesystem::path& path);
    // The same for a PDF held in memory; `name` is used in the error.
    static std::vector<PDFTextItem> itemsFromMemory(std::string_view bytes, const std::string& name);

    // The text of a string operand's bytes: UTF-16BE (no byte-order mark handling) when the
    // length is even and byte 0 or byte 2 is zero, else a PDF text string (UTF-16BE after
    // FE FF, otherwise PDFDocEncoding).
    static std::string decodeString(std::string_view bytes);

    // The smallest rectangle (under 30 high and 300 wide) containing the probe point
    // (x + 1, y + 3); the earliest drawn on equal areas.
    static std::optional<PDFRect> cellFor(double x, double y, const std::vector<PDFRect>& rects);

    // Content of one page larger than this (after decompression) is not scanned.
    static constexpr std::size_t maxPageContentBytes = 16u << 20;
};

} // namespace rig
