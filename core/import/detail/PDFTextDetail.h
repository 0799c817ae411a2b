// The page scanner of PDFText, for the library and its tests only.
#pragma once

#include "import/PDFText.h"

#include <cstdint>
#include <memory>
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

// The tokens of a page's content exactly as qpdf's tokenizer reads them, bad ones included.
// White space, words, numbers and brackets are read here; the rest goes to qpdf's
// tokenizer. A page of millions of bare operators would otherwise spend its time in the
// tokenizer's overhead per token rather than in the bytes.
class ContentTokens {
public:
    // The kinds of qpdf's tokenizer (tt_*) that content can give.
    enum class Type : unsigned char {
        bad,
        arrayClose,
        arrayOpen,
        braceClose,
        braceOpen,
        dictClose,
        dictOpen,
        integer,
        name,
        real,
        string,
        null,
        boolean,
        word,
        eof,
        inlineImage,
    };

    explicit ContentTokens(std::string_view content);
    ~ContentTokens();
    ContentTokens(const ContentTokens&) = delete;
    ContentTokens& operator=(const ContentTokens&) = delete;

    // Reads the next token; eof once only white space is left.
    void next();
    // After the "ID" operator: skips the byte that ended it and reads the image data up to
    // "EI" as one inlineImage token (bad when there is no "EI").
    void nextInlineImage();
    bool atEnd() const { return pos_ >= content_.size(); }

    Type type() const { return type_; }
    // The token's text as qpdf gives it (a string's bytes after unescaping, a name's
    // characters); valid until the next read.
    std::string_view value() const { return value_; }

private:
    struct Qpdf;
    void byQpdf(bool inlineImage);

    std::string_view content_;
    std::size_t pos_ = 0;
    Type type_ = Type::eof;
    std::string_view value_;
    std::unique_ptr<Qpdf> qpdf_; // made for the first token that needs it
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
