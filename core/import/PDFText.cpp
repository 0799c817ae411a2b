#include "import/PDFText.h"

#include "base/File.h"
#include "base/Number.h"
#include "base/Text.h"
#include "model/RigError.h"

// qpdf 11 API without the PointerHolder compatibility layer.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <utility>

namespace rig {

PDFRect PDFRect::standardized(double x, double y, double width, double height) {
    if (width < 0) {
        x += width;
        width = -width;
    }
    if (height < 0) {
        y += height;
        height = -height;
    }
    return PDFRect{x, y, width, height};
}

namespace {

// PDFDocEncoding where it differs from Latin-1; 0 marks a byte without a character.
constexpr char32_t kDocLow[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9,
                                 0x02DD, 0x02DB, 0x02DA, 0x02DC}; // 0x18..0x1F
constexpr char32_t kDocHigh[33] = {
    // 0x80..0xA0
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0,      0x20AC,
};

std::string decodePDFDoc(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        char32_t c = b;
        if (b >= 0x18 && b <= 0x1F)
            c = kDocLow[b - 0x18];
        else if (b >= 0x80 && b <= 0xA0)
            c = kDocHigh[b - 0x80];
        else if (b == 0x7F || b == 0xAD)
            c = 0;
        if (c == 0 && b != 0) c = 0xFFFD;
        if (c < 0x80)
            out.push_back(static_cast<char>(c));
        else
            appendUtf8(out, c);
    }
    return out;
}

// Big-endian UTF-16; unpaired surrogates and a dangling odd byte become U+FFFD.
std::string decodeUTF16BE(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    auto unit = [&](std::size_t i) -> char32_t {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i])) << 8 |
               static_cast<unsigned char>(bytes[2 * i + 1]);
    };
    for (std::size_t i = 0; i < units; ++i) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            char32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        if (u < 0x80)
            out.push_back(static_cast<char>(u));
        else
            appendUtf8(out, u);
    }
    if (bytes.size() % 2 != 0) appendUtf8(out, 0xFFFD);
    return out;
}

struct RawString {
    double x;
    double y;
    std::string text;
};

// The scan state of one page; nothing carries over to the next page.
struct PageState {
    double lineX = 0;
    double lineY = 0;
    double leading = 0;
    std::vector<PDFRect> rects;
    std::vector<RawString> raw;
};

// The operands given to the next operator, last on top. No handler takes more than six, so
// only the topmost few are kept: a stream of millions of stray operands costs no memory.
class Operands {
public:
    void push(QPDFObjectHandle h) {
        if (size_ == kKeep) {
            for (std::size_t i = 1; i < kKeep; ++i) slots_[i - 1] = std::move(slots_[i]);
            --size_;
        }
        slots_[size_++] = std::move(h);
    }
    // Takes the top operand; none when the stack is empty.
    std::optional<QPDFObjectHandle> pop() {
        if (size_ == 0) return std::nullopt;
        return std::move(slots_[--size_]);
    }
    void clear() {
        for (std::size_t i = 0; i < size_; ++i) slots_[i] = QPDFObjectHandle();
        size_ = 0;
    }

private:
    static constexpr std::size_t kKeep = 8;
    std::array<QPDFObjectHandle, kKeep> slots_;
    std::size_t size_ = 0;
};

std::optional<double> numberOf(QPDFObjectHandle& h) {
    if (h.isInteger()) return static_cast<double>(h.getIntValue());
    // Reals keep their source text; read it without the process locale.
    if (h.isReal()) return parseDecimal(h.getRealValue());
    return std::nullopt;
}

class PageScanner : public QPDFObjectHandle::ParserCallbacks {
public:
    explicit PageScanner(PageState& state) : s_(state) {}

    void handleObject(QPDFObjectHandle obj) override {
        if (obj.isOperator()) {
            run(obj.getOperatorValue());
            operands_.clear();
        } else {
            operands_.push(std::move(obj));
        }
    }
    void handleEOF() override {}

private:
    std::optional<double> popNumber() {
        auto h = operands_.pop();
        if (!h) return std::nullopt;
        return numberOf(*h);
    }
    double popNumberOrZero() { return popNumber().value_or(0.0); }

    void show(std::string text) { s_.raw.push_back(RawString{s_.lineX, s_.lineY, std::move(text)}); }

    void showString() {
        auto h = operands_.pop();
        if (h && h->isString()) show(PDFText::decodeString(h->getStringValue()));
    }

    void run(const std::string& op) {
        if (op == "Tj") {
            showString();
        } else if (op == "Td" || op == "TD") {
            auto ty = popNumber();
            auto tx = popNumber();
            if (!tx || !ty) return;
            s_.lineX += *tx;
            s_.lineY += *ty;
            if (op == "TD") s_.leading = -*ty;
        } else if (op == "TJ") {
            auto h = operands_.pop();
            if (!h || !h->isArray()) return;
            std::string joined;
            const int n = h->getArrayNItems();
            for (int i = 0; i < n; ++i) {
                QPDFObjectHandle e = h->getArrayItem(i);
                if (e.isString()) joined += PDFText::decodeString(e.getStringValue());
            }
            show(std::move(joined));
        } else if (op == "re") {
            double hgt = popNumberOrZero();
            double w = popNumberOrZero();
            double y = popNumberOrZero();
            double x = popNumberOrZero();
            s_.rects.push_back(PDFRect::standardized(x, y, w, hgt));
        } else if (op == "Tm") {
            double f = popNumberOrZero();
            double e = popNumberOrZero();
            s_.lineX = e;
            s_.lineY = f;
        } else if (op == "BT") {
            s_.lineX = 0;
            s_.lineY = 0;
        } else if (op == "TL") {
            if (auto v = popNumber()) s_.leading = *v;
        } else if (op == "T*") {
            s_.lineY -= s_.leading;
        } else if (op == "'") {
            s_.lineY -= s_.leading;
            showString();
        }
    }

    PageState& s_;
    Operands operands_;
};

// Collects a page's decoded content, refusing more than the limit (a compression bomb
// would otherwise take all memory before a single operator is seen).
class BoundedSink : public Pipeline {
public:
    BoundedSink(std::string& out, std::size_t limit)
        : Pipeline("page content", nullptr), out_(out), limit_(limit) {}
    void write(unsigned char const* data, size_t len) override {
        if (len > limit_ - out_.size()) throw std::length_error("page content too large");
        out_.append(reinterpret_cast<const char*>(data), len);
    }
    void finish() override {}

private:
    std::string& out_;
    std::size_t limit_;
};

int filterCount(QPDFObjectHandle& stream) {
    QPDFObjectHandle filter = stream.getDict().getKey("/Filter");
    if (filter.isArray()) return filter.getArrayNItems();
    return filter.isNull() ? 0 : 1;
}

// Real streams use one or two filters; qpdf builds a decoder with its own buffers for each.
constexpr int maxFilters = 8;

// The page's content streams decoded one after the other into `sink`, a line break between
// them. Each stream goes straight into the bounded sink, so nothing is buffered whole.
void pipeContent(QPDFPageObjectHelper& page, Pipeline& sink) {
    QPDFObjectHandle contents = page.getObjectHandle().getKey("/Contents");
    std::vector<QPDFObjectHandle> streams;
    if (contents.isStream()) {
        streams.push_back(contents);
    } else if (contents.isArray()) {
        const int n = contents.getArrayNItems();
        for (int i = 0; i < n; ++i) {
            QPDFObjectHandle item = contents.getArrayItem(i);
            if (item.isStream()) streams.push_back(item);
        }
    }
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (i > 0) sink.writeCStr("\n");
        const int filters = filterCount(streams[i]);
        bool filtered = false;
        if (filters > maxFilters ||
            !streams[i].pipeStreamData(&sink, &filtered, 0, qpdf_dl_specialized, true) ||
            (!filtered && filters > 0))
            throw std::runtime_error("content stream does not decode");
    }
}

void scanPage(QPDF& pdf, QPDFPageObjectHelper& page, std::int64_t number, std::vector<PDFTextItem>& out) {
    std::string content;
    BoundedSink sink(content, PDFText::maxPageContentBytes);
    pipeContent(page, sink);
    if (content.empty()) return;

    PageState state;
    PageScanner scanner(state);
    QPDFObjectHandle::parseContentStream(pdf.newStream(content), &scanner);

    if (state.raw.empty()) return;
    out.reserve(out.size() + state.raw.size());
    for (RawString& r : state.raw) {
        auto cell = PDFText::cellFor(r.x, r.y, state.rects);
        out.push_back(PDFTextItem{number, r.x, r.y, std::move(r.text), cell});
    }
}

// qpdf walks the page tree recursively; a tree nested deeper than any real document would
// exhaust the stack, so it is measured first without recursion.
bool pageTreeIsShallow(QPDF& pdf) {
    constexpr int maxDepth = 256;
    std::vector<std::pair<QPDFObjectHandle, int>> todo = {{pdf.getRoot().getKey("/Pages"), 0}};
    std::set<QPDFObjGen> seen;
    while (!todo.empty()) {
        auto [node, depth] = todo.back();
        todo.pop_back();
        if (depth > maxDepth) return false;
        if (node.isIndirect() && !seen.insert(node.getObjGen()).second) continue;
        if (!node.isDictionary()) continue;
        QPDFObjectHandle kids = node.getKey("/Kids");
        if (!kids.isArray()) continue;
        const int n = kids.getArrayNItems();
        for (int i = 0; i < n; ++i) todo.emplace_back(kids.getArrayItem(i), depth + 1);
    }
    return true;
}

std::vector<PDFTextItem> readDocument(const std::string& name, const std::function<void(QPDF&)>& open) {
    QPDF pdf;
    // The library prints nothing: qpdf's warnings and messages go nowhere.
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    pdf.setLogger(logger);
    pdf.setSuppressWarnings(true);
    try {
        open(pdf);
        pdf.getRoot();
    } catch (const std::exception&) {
        throw RigError::unreadable(name);
    }

    std::vector<QPDFPageObjectHelper> pages;
    try {
        if (!pageTreeIsShallow(pdf)) return {};
        pages = QPDFPageDocumentHelper(pdf).getAllPages();
    } catch (const std::exception&) {
        return {}; // a page tree that cannot be walked has no pages to offer
    }

    std::vector<PDFTextItem> items;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::size_t before = items.size();
        try {
            scanPage(pdf, pages[i], static_cast<std::int64_t>(i + 1), items);
        } catch (const std::exception&) {
            // A damaged page is skipped whole; the other pages still count.
            items.resize(before);
        }
    }
    return items;
}

} // namespace

std::string PDFText::decodeString(std::string_view b) {
    const std::size_t n = b.size();
    if (n >= 2 && n % 2 == 0 && (b[0] == 0 || (n >= 4 && b[2] == 0))) return decodeUTF16BE(b);
    if (n >= 2 && static_cast<unsigned char>(b[0]) == 0xFE && static_cast<unsigned char>(b[1]) == 0xFF)
        return decodeUTF16BE(b.substr(2));
    return decodePDFDoc(b);
}

std::optional<PDFRect> PDFText::cellFor(double x, double y, const std::vector<PDFRect>& rects) {
    const double px = x + 1;
    const double py = y + 3;
    const PDFRect* best = nullptr;
    double bestArea = 0;
    for (const PDFRect& r : rects) {
        if (!(r.height < 30 && r.width < 300) || !r.contains(px, py)) continue;
        const double area = r.width * r.height;
        if (!best || area < bestArea) {
            best = &r;
            bestArea = area;
        }
    }
    if (!best) return std::nullopt;
    return *best;
}

std::vector<PDFTextItem> PDFText::items(const std::filesystem::path& path) {
    const std::string name = fileNameOf(path);
    const std::string file = path.string();
    return readDocument(name, [&](QPDF& pdf) { pdf.processFile(file.c_str()); });
}

std::vector<PDFTextItem> PDFText::itemsFromMemory(std::string_view bytes, const std::string& name) {
    // qpdf reads straight from the caller's buffer, which outlives the document.
    return readDocument(name,
                        [&](QPDF& pdf) { pdf.processMemoryFile(name.c_str(), bytes.data(), bytes.size()); });
}

} // namespace rig
