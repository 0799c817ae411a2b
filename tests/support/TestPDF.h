// A small PDF writer for tests: pages whose content streams are written operator by
// operator, so a test decides exactly how each string is positioned and encoded.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace rig::test {

// How a string operand is written: a literal "( )" string in PDFDocEncoding, or a hex
// "< >" string of UTF-16BE units without a byte-order mark.
enum class Enc { pdfDoc, utf16 };

// A content stream under construction. Every call appends one operator line.
class Content {
public:
    using TJPart = std::variant<std::string, double>;

    Content& raw(std::string_view ops);
    Content& bt() { return raw("BT"); }
    Content& et() { return raw("ET"); }
    Content& font(double size);
    Content& tm(double a, double b, double c, double d, double e, double f);
    Content& td(double tx, double ty);
    Content& tD(double tx, double ty);
    Content& tl(double leading);
    Content& tStar() { return raw("T*"); }
    Content& tj(std::string_view text, Enc enc = Enc::pdfDoc);
    Content& quote(std::string_view text, Enc enc = Enc::pdfDoc);
    // Strings and kerning numbers of one TJ array, in order.
    Content& tjArray(const std::vector<TJPart>& parts, Enc enc = Enc::pdfDoc);
    Content& re(double x, double y, double w, double h);
    Content& stroke() { return raw("S"); }

    const std::string& str() const { return ops_; }

    // The operand form of a text: PDFDocEncoding literal (characters outside it become "?")
    // or hex UTF-16BE.
    static std::string literal(std::string_view utf8);
    static std::string hexUTF16(std::string_view utf8);
    static std::string string(std::string_view utf8, Enc enc) {
        return enc == Enc::pdfDoc ? literal(utf8) : hexUTF16(utf8);
    }
    // A literal string of raw bytes, escaped.
    static std::string literalBytes(std::string_view bytes);
    // True when the text survives the round trip through that encoding and the reader's
    // choice between UTF-16 and PDFDocEncoding.
    static bool encodable(std::string_view utf8, Enc enc);
    // Numbers in plain fixed notation (content streams have no exponents).
    static std::string num(double v);

private:
    std::string ops_;
};

// One content stream as stored in the file.
struct TestStream {
    std::string data;
    // When set, `data` is written unchanged under this /Filter value (for example
    // "/FlateDecode" with bytes that do not inflate, or an array of names), so tests can
    // encode or damage a stream by hand.
    std::string rawFilter;
};

class TestPDF {
public:
    // A page whose content is one or several streams, drawn in order.
    TestPDF& addPage(std::vector<TestStream> streams);
    TestPDF& addPage(const Content& content) { return addPage({TestStream{content.str(), {}}}); }
    TestPDF& addPage(const std::vector<Content>& streams);
    // A page whose /Contents is the given PDF object text (for example "42" or "null").
    TestPDF& addPageWithContentsObject(std::string objectText);

    // The paper and font /F1 of every page: A4 portrait and Helvetica until set.
    TestPDF& paper(double width, double height, std::string font) {
        width_ = width, height_ = height, font_ = std::move(font);
        return *this;
    }
    TestPDF& compress(bool on) {
        compress_ = on;
        return *this;
    }
    // Encrypts with AES-256; an empty user password opens without one.
    TestPDF& encrypt(std::string userPassword) {
        encrypt_ = true;
        userPassword_ = std::move(userPassword);
        return *this;
    }

    std::size_t pageCount() const { return pages_.size(); }
    std::string bytes() const;
    void write(const std::filesystem::path& path) const;

private:
    struct Page {
        std::vector<TestStream> streams;
        std::string contentsObject;
    };
    std::vector<Page> pages_;
    double width_ = 595, height_ = 842;
    std::string font_ = "Helvetica";
    bool compress_ = false;
    bool encrypt_ = false;
    std::string userPassword_;
};

// A PDF written by hand whose one page ("deep") sits under `depth` nested page-tree nodes.
std::string nestedPageTreePDF(int depth);

} // namespace rig::test
