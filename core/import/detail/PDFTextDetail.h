// The page scanner of PDFText, for the library and its tests only.
#pragma once

#include "import/PDFText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rig::PDFText::detail {

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

// Runs the text and rectangle operators of one page's decoded content into `state`, object
// by object as qpdf's content-stream parser splits it. Throws, and the page counts as
// damaged, when an integer does not fit 64 bits.
void scanContent(std::string_view content, State& state);

// The smallest rectangle (under 30 high and 300 wide) containing the probe point
// (x + 1, y + 3); the earliest drawn on equal areas.
std::optional<PDFRect> cellFor(double x, double y, const std::vector<PDFRect>& rects);

// cellFor of every shown string, in near-linear time however many rectangles the page has.
std::vector<std::optional<PDFRect>> cellsFor(const std::vector<State::Shown>& shown,
                                             const std::vector<PDFRect>& rects);

} // namespace rig::PDFText::detail
