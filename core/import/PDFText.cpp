#include "import/PDFText.h"

#include "base/File.h"
#include "base/Number.h"
#include "base/Text.h"
#include "import/detail/PDFPages.h"
#include "import/detail/PDFTextDetail.h"
#include "model/RigError.h"

// qpdf 11 API without the PointerHolder compatibility layer.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>
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

} // namespace rig

namespace rig::PDFText {

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

using detail::State;

// An operand as the page scanner needs it: a number, a string's bytes, the strings directly
// inside an array, or anything else.
struct Operand {
    enum class Kind : unsigned char { other, number, string, array };
    Kind kind = Kind::other;
    double number = 0;
    std::string bytes;
    std::vector<std::string> strings;
};

// The operands given to the next operator, last on top. No handler takes more than six, so
// only the topmost few are kept: a stream of millions of stray operands costs no memory.
// The slots are reused, so their strings keep their capacity.
class Operands {
public:
    // The slot for a new top operand; the oldest one goes when all are in use.
    Operand& push() {
        if (size_ == kKeep) {
            start_ = (start_ + 1) % kKeep;
            --size_;
        }
        Operand& o = slots_[(start_ + size_++) % kKeep];
        o.kind = Operand::Kind::other;
        return o;
    }
    // Takes the top operand; none when the stack is empty. Valid until the next push.
    const Operand* pop() {
        if (size_ == 0) return nullptr;
        return &slots_[(start_ + --size_) % kKeep];
    }
    void clear() { size_ = 0; }

private:
    static constexpr std::size_t kKeep = 8;
    std::array<Operand, kKeep> slots_;
    std::size_t start_ = 0;
    std::size_t size_ = 0;
};

// An integer as qpdf reads it (strtoll); beyond 64 bits it stops the page, as it stops qpdf.
double integerValue(std::string_view text) {
    std::size_t i = text.empty() || (text[0] != '-' && text[0] != '+') ? 0 : 1;
    const std::size_t digits = text.size() - i;
    if (digits >= 1 && digits <= 18) {
        std::int64_t v = 0;
        for (; i < text.size(); ++i) {
            const char c = text[i];
            if (c < '0' || c > '9') break;
            v = v * 10 + (c - '0');
        }
        if (i == text.size()) return static_cast<double>(text[0] == '-' ? -v : v);
    }
    errno = 0;
    const long long v = std::strtoll(std::string(text).c_str(), nullptr, 10);
    if (errno == ERANGE) throw std::range_error("integer out of range");
    return static_cast<double>(v);
}

// What qpdf's content-stream parser makes of the next top-level object.
struct Parsed {
    enum class Kind { end, null, other, integer, real, string, array, op };
    Kind kind = Kind::end;
};

// Two-byte operator names as one number, so that operators are told apart by a switch.
constexpr unsigned op2(char a, char b) {
    return static_cast<unsigned char>(a) << 8 | static_cast<unsigned char>(b);
}

// Reads a page's content token by token and follows qpdf's content-stream parser
// (QPDFParser in content-stream mode) object by object: the same objects in the same
// places, including its recovery from damage (unbalanced brackets, too deep nesting, too
// many errors in a row), but without building an object for every token.
class PageScanner {
public:
    using Type = detail::ContentTokens::Type;

    PageScanner(std::string_view content, State& state) : tokens_(content), s_(state) {}

    void run() {
        while (!tokens_.atEnd()) {
            tokens_.next();
            const Parsed::Kind kind = parseObject();
            if (kind == Parsed::Kind::end) return;
            if (kind != Parsed::Kind::op) {
                pushOperand(kind);
                continue;
            }
            const bool inlineImage = runOperator(tokens_.value());
            operands_.clear();
            if (inlineImage) skipInlineImage();
        }
    }

private:
    enum class St { top, start, array, dictionary, stop, eof };

    // Parses one object starting with the current token. On return the current token is the
    // object's last; the strings directly inside a top-level array are in strings_.
    Parsed::Kind parseObject() {
        // A lone token needs none of the nesting below; content is mostly lone tokens.
        switch (tokens_.type()) {
        case Type::eof:
            return Parsed::Kind::end;
        case Type::arrayOpen:
        case Type::dictOpen:
            break;
        case Type::integer:
            integer_ = integerValue(tokens_.value());
            return Parsed::Kind::integer;
        case Type::real:
            return Parsed::Kind::real;
        case Type::string:
            return Parsed::Kind::string;
        case Type::word:
            return Parsed::Kind::op;
        case Type::boolean:
        case Type::name:
            return Parsed::Kind::other;
        default: // null, bad tokens, unmatched closing brackets, braces
            return Parsed::Kind::null;
        }

        stack_.assign(1, St::top);
        strings_.clear();
        int badCount = 0;
        int goodCount = 0;
        for (bool first = true;; first = false) {
            if (!first) tokens_.next();
            St state = stack_.back();
            bool bad = false;
            bool isNull = false;
            Parsed::Kind kind = Parsed::Kind::other;
            switch (tokens_.type()) {
            case Type::eof:
                bad = true;
                state = St::eof;
                break;
            case Type::arrayClose:
                if (state == St::array) {
                    state = St::stop;
                } else {
                    bad = true;
                    isNull = true;
                }
                break;
            case Type::dictClose:
                if (state == St::dictionary) {
                    state = St::stop;
                } else {
                    bad = true;
                    isNull = true;
                }
                break;
            case Type::arrayOpen:
            case Type::dictOpen:
                if (stack_.size() > 500) {
                    bad = true;
                    isNull = true;
                    state = St::top;
                } else {
                    state = St::start;
                    stack_.push_back(tokens_.type() == Type::arrayOpen ? St::array : St::dictionary);
                }
                break;
            case Type::boolean:
            case Type::name:
                break;
            case Type::null:
                isNull = true;
                break;
            case Type::integer:
                integer_ = integerValue(tokens_.value());
                kind = Parsed::Kind::integer;
                break;
            case Type::real:
                kind = Parsed::Kind::real;
                break;
            case Type::string:
                kind = Parsed::Kind::string;
                break;
            case Type::word:
                kind = Parsed::Kind::op;
                break;
            default: // bad tokens, braces and anything unexpected read as null
                bad = true;
                isNull = true;
                break;
            }

            if (bad) {
                ++badCount;
                goodCount = 0;
            } else if (++goodCount > 3) {
                badCount = 0;
            }
            if (badCount > 5) {
                state = St::top; // qpdf gives up on the object
                isNull = true;
            }

            switch (state) {
            case St::eof:
                return Parsed::Kind::end;
            case St::array:
            case St::dictionary:
                // Only the strings directly inside a top-level array are ever used.
                if (!isNull && kind == Parsed::Kind::string && stack_.size() == 2 && state == St::array)
                    strings_.emplace_back(tokens_.value());
                break;
            case St::top:
                return isNull ? Parsed::Kind::null : kind;
            case St::start:
                break;
            case St::stop: {
                const St closed = stack_.back();
                stack_.pop_back();
                if (stack_.back() == St::top)
                    return closed == St::array ? Parsed::Kind::array : Parsed::Kind::other;
                break;
            }
            }
        }
    }

    void pushOperand(Parsed::Kind kind) {
        Operand& o = operands_.push();
        switch (kind) {
        case Parsed::Kind::integer:
            o.kind = Operand::Kind::number;
            o.number = integer_;
            break;
        case Parsed::Kind::real:
            // Reals keep their source text; read it without the process locale.
            if (auto v = parseDecimal(tokens_.value())) {
                o.kind = Operand::Kind::number;
                o.number = *v;
            }
            break;
        case Parsed::Kind::string:
            o.kind = Operand::Kind::string;
            o.bytes = tokens_.value();
            break;
        case Parsed::Kind::array:
            o.kind = Operand::Kind::array;
            o.strings.swap(strings_);
            break;
        default:
            break;
        }
    }

    // After ID: the image data up to EI counts as one operand.
    void skipInlineImage() {
        tokens_.nextInlineImage();
        if (tokens_.type() != Type::bad) operands_.push();
    }

    std::optional<double> popNumber() {
        const Operand* o = operands_.pop();
        if (!o || o->kind != Operand::Kind::number) return std::nullopt;
        return o->number;
    }
    double popNumberOrZero() { return popNumber().value_or(0.0); }

    void show(std::string text) { s_.raw.push_back(State::Shown{s_.lineX, s_.lineY, std::move(text)}); }

    void showString() {
        const Operand* o = operands_.pop();
        if (o && o->kind == Operand::Kind::string) show(decodeString(o->bytes));
    }

    void moveLine(bool setLeading) {
        auto ty = popNumber();
        auto tx = popNumber();
        if (!tx || !ty) return;
        s_.lineX += *tx;
        s_.lineY += *ty;
        if (setLeading) s_.leading = -*ty;
    }

    // Runs one operator on the operands; true for "ID", whose image data follows. Operators
    // are told apart by their length and bytes: a page may hold millions of them.
    bool runOperator(std::string_view op) {
        if (op.size() == 1) {
            if (op[0] == '\'') {
                s_.lineY -= s_.leading;
                showString();
            }
            return false;
        }
        if (op.size() != 2) return false;
        switch (op2(op[0], op[1])) {
        case op2('T', 'j'):
            showString();
            break;
        case op2('T', 'd'):
            moveLine(false);
            break;
        case op2('T', 'D'):
            moveLine(true);
            break;
        case op2('T', 'J'): {
            const Operand* o = operands_.pop();
            if (!o || o->kind != Operand::Kind::array) break;
            std::string joined;
            for (const std::string& bytes : o->strings) joined += decodeString(bytes);
            show(std::move(joined));
            break;
        }
        case op2('r', 'e'): {
            double hgt = popNumberOrZero();
            double w = popNumberOrZero();
            double y = popNumberOrZero();
            double x = popNumberOrZero();
            s_.rects.push_back(PDFRect::standardized(x, y, w, hgt));
            break;
        }
        case op2('T', 'm'): {
            double f = popNumberOrZero();
            double e = popNumberOrZero();
            s_.lineX = e;
            s_.lineY = f;
            break;
        }
        case op2('B', 'T'):
            s_.lineX = 0;
            s_.lineY = 0;
            break;
        case op2('T', 'L'):
            if (auto v = popNumber()) s_.leading = *v;
            break;
        case op2('T', '*'):
            s_.lineY -= s_.leading;
            break;
        case op2('I', 'D'):
            return true;
        default:
            break;
        }
        return false;
    }

    detail::ContentTokens tokens_;
    std::vector<St> stack_;
    std::vector<std::string> strings_;
    double integer_ = 0;
    Operands operands_;
    State& s_;
};

// A rectangle that can hold a probe point at all: small enough and not empty.
bool isCandidate(const PDFRect& r) {
    return r.height < 30 && r.width < 300 && r.minX() < r.maxX() && r.minY() < r.maxY();
}

// Stabbing queries "the candidate of least (area, drawing order) containing the point",
// answered for all probes at once: a sweep along x with the active rectangles in a segment
// tree over the y edges, each node holding a heap of the rectangles that cover it whole.
// Removed rectangles leave their heaps lazily. O((R + P) log^2 R) time, O(R log R) memory.
class CellSweep {
public:
    CellSweep(const std::vector<PDFRect>& rects, std::vector<std::uint32_t> cand)
        : rects_(rects), cand_(std::move(cand)) {
        for (std::uint32_t c : cand_) {
            ys_.push_back(rects_[c].minY());
            ys_.push_back(rects_[c].maxY());
            area_.push_back(rects_[c].width * rects_[c].height);
        }
        std::sort(ys_.begin(), ys_.end());
        ys_.erase(std::unique(ys_.begin(), ys_.end()), ys_.end());
        m_ = ys_.size() - 1;
        lo_.reserve(cand_.size());
        hi_.reserve(cand_.size());
        std::vector<std::uint32_t> count(2 * m_, 0);
        for (std::uint32_t c : cand_) {
            lo_.push_back(yIndex(rects_[c].minY()));
            hi_.push_back(yIndex(rects_[c].maxY()));
            cover(lo_.back(), hi_.back(), [&](std::size_t node) { ++count[node]; });
        }
        offset_.resize(2 * m_ + 1, 0);
        for (std::size_t v = 0; v < 2 * m_; ++v) offset_[v + 1] = offset_[v] + count[v];
        heap_.resize(offset_.back());
        size_.assign(2 * m_, 0);
        dead_.assign(cand_.size(), false);
    }

    void run(const std::vector<State::Shown>& shown, std::vector<std::optional<PDFRect>>& out) {
        struct Event {
            double x;
            int type; // 0 remove, 1 insert, 2 probe: at one x, removals and insertions go first
            std::uint32_t id;
        };
        std::vector<Event> events;
        events.reserve(cand_.size() * 2 + shown.size());
        for (std::uint32_t i = 0; i < cand_.size(); ++i) {
            events.push_back({rects_[cand_[i]].minX(), 1, i});
            events.push_back({rects_[cand_[i]].maxX(), 0, i});
        }
        for (std::uint32_t p = 0; p < shown.size(); ++p) {
            const double px = shown[p].x + 1;
            const double py = shown[p].y + 3;
            if (std::isfinite(px) && std::isfinite(py)) events.push_back({px, 2, p});
        }
        std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
            if (a.x != b.x) return a.x < b.x;
            return a.type < b.type;
        });
        for (const Event& e : events) {
            if (e.type == 0) {
                dead_[e.id] = true;
            } else if (e.type == 1) {
                cover(lo_[e.id], hi_[e.id], [&](std::size_t node) {
                    std::uint32_t* h = heap_.data() + offset_[node];
                    h[size_[node]++] = e.id;
                    std::push_heap(h, h + size_[node], after_);
                });
            } else if (auto best = query(shown[e.id].y + 3)) {
                out[e.id] = rects_[cand_[*best]];
            }
        }
    }

private:
    std::uint32_t yIndex(double y) const {
        return static_cast<std::uint32_t>(std::lower_bound(ys_.begin(), ys_.end(), y) - ys_.begin());
    }

    // The nodes that together cover the elementary intervals [l, r) exactly once.
    template <class F>
    void cover(std::size_t l, std::size_t r, F&& f) const {
        for (l += m_, r += m_; l < r; l >>= 1, r >>= 1) {
            if (l & 1) f(l++);
            if (r & 1) f(--r);
        }
    }

    std::optional<std::uint32_t> query(double py) {
        const auto it = std::upper_bound(ys_.begin(), ys_.end(), py);
        if (it == ys_.begin() || it == ys_.end()) return std::nullopt;
        std::optional<std::uint32_t> best;
        for (std::size_t node = static_cast<std::size_t>(it - ys_.begin()) - 1 + m_; node >= 1; node >>= 1) {
            std::uint32_t* h = heap_.data() + offset_[node];
            std::uint32_t& n = size_[node];
            while (n > 0 && dead_[h[0]]) std::pop_heap(h, h + n--, after_);
            if (n > 0 && (!best || after_(*best, h[0]))) best = h[0];
        }
        return best;
    }

    const std::vector<PDFRect>& rects_;
    std::vector<std::uint32_t> cand_;
    std::vector<double> area_;
    std::vector<double> ys_;
    std::size_t m_ = 0;
    std::vector<std::uint32_t> lo_, hi_;
    std::vector<std::size_t> offset_;
    std::vector<std::uint32_t> heap_;
    std::vector<std::uint32_t> size_;
    std::vector<bool> dead_;
    // Heap order: the least area on top, the earliest drawn on equal areas.
    struct After {
        const std::vector<double>* area;
        bool operator()(std::uint32_t a, std::uint32_t b) const {
            const double x = (*area)[a], y = (*area)[b];
            return x > y || (x == y && a > b);
        }
    };
    After after_{&area_};
};

std::string lossReason(detail::PageTrouble trouble) {
    using T = detail::PageTrouble;
    switch (trouble) {
    case T::noContent:
        return "its content is missing";
    case T::undecodable:
        return "its content does not decode";
    case T::cutShort:
        return "its content is cut short";
    case T::tooLarge:
        return "its content is larger than a page can be";
    case T::overBudget:
        return "the pages before it hold all the content a report can have";
    case T::unscannable:
        return "its content cannot be read";
    case T::failsCheck:
        break;
    }
    return "its content fails its checksum";
}

Document readDocument(const std::filesystem::path* file, std::string_view memory, const std::string& name,
                      const std::stop_token& stop) {
    Document doc;
    std::vector<PageLoss> unscanned;
    State state;
    auto scan = [&](std::int64_t page, std::string_view content) {
        state.page = page;
        state.lineX = state.lineY = state.leading = 0;
        state.rects.clear();
        state.raw.clear();
        std::vector<std::optional<PDFRect>> cells;
        try {
            detail::scanContent(content, state);
            cells = detail::cellsFor(state.raw, state.rects);
        } catch (const std::exception&) {
            // A damaged page is skipped whole; the other pages still count.
            unscanned.push_back(PageLoss{page, true, lossReason(detail::PageTrouble::unscannable)});
            return;
        }
        for (std::size_t i = 0; i < state.raw.size(); ++i) {
            State::Shown& r = state.raw[i];
            doc.items.push_back(PDFTextItem{page, r.x, r.y, std::move(r.text), cells[i]});
        }
    };
    const detail::PageLimits limits{maxPageContentBytes, maxDocumentContentBytes, maxFileBytes};
    detail::PagesRead pages;
    if (!detail::readPages(
            file, memory, name, limits, [&] { throwIfCancelled(stop); }, scan, &pages))
        throw RigError::unreadable(name);
    doc.pages = pages.pages;
    doc.pageListDamaged = pages.pageListDamaged;
    for (const detail::PageReport& r : pages.troubles) {
        const bool skipped = r.trouble != detail::PageTrouble::failsCheck;
        doc.losses.push_back(PageLoss{r.page, skipped, lossReason(r.trouble)});
    }
    // A page whose checksum failed may still have been unscannable: it counts as skipped.
    for (PageLoss& loss : unscanned) {
        std::erase_if(doc.losses, [&](const PageLoss& l) { return l.page == loss.page; });
        doc.losses.push_back(std::move(loss));
    }
    std::stable_sort(doc.losses.begin(), doc.losses.end(),
                     [](const PageLoss& a, const PageLoss& b) { return a.page < b.page; });
    return doc;
}

} // namespace

namespace detail {

namespace {

// How qpdf's tokenizer sees a byte: white space, a delimiter that ends a word or number,
// or a regular byte.
enum class ByteClass : unsigned char { regular, space, delimiter };

constexpr std::array<ByteClass, 256> kByteClass = [] {
    std::array<ByteClass, 256> t{};
    for (unsigned char c : std::string_view("\0\t\n\v\f\r ", 7)) t[c] = ByteClass::space;
    for (unsigned char c : std::string_view("%()/<>[]{}")) t[c] = ByteClass::delimiter;
    return t;
}();

ByteClass byteClass(char c) {
    return kByteClass[static_cast<unsigned char>(c)];
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A run of regular bytes: an integer ("+12", "007"), a real ("1.", ".5", "-3.25"), or else
// a word ("+", ".", "1.2.3", "1e5", "Tj"); "true", "false" and "null" are their own kinds.
ContentTokens::Type wordOrNumber(std::string_view t) {
    using Type = ContentTokens::Type;
    std::size_t i = t[0] == '+' || t[0] == '-' ? 1 : 0;
    const std::size_t start = i;
    while (i < t.size() && isDigit(t[i])) ++i;
    const bool whole = i > start;
    if (i == t.size() && whole) return Type::integer;
    if (i < t.size() && t[i] == '.') {
        const std::size_t fraction = ++i;
        while (i < t.size() && isDigit(t[i])) ++i;
        if (i == t.size() && (whole || i > fraction)) return Type::real;
    }
    if (t == "true" || t == "false") return Type::boolean;
    if (t == "null") return Type::null;
    return Type::word;
}

ContentTokens::Type typeOf(QPDFTokenizer::token_type_e t) {
    using Type = ContentTokens::Type;
    switch (t) {
    case QPDFTokenizer::tt_array_close:
        return Type::arrayClose;
    case QPDFTokenizer::tt_array_open:
        return Type::arrayOpen;
    case QPDFTokenizer::tt_brace_close:
        return Type::braceClose;
    case QPDFTokenizer::tt_brace_open:
        return Type::braceOpen;
    case QPDFTokenizer::tt_dict_close:
        return Type::dictClose;
    case QPDFTokenizer::tt_dict_open:
        return Type::dictOpen;
    case QPDFTokenizer::tt_integer:
        return Type::integer;
    case QPDFTokenizer::tt_name:
        return Type::name;
    case QPDFTokenizer::tt_real:
        return Type::real;
    case QPDFTokenizer::tt_string:
        return Type::string;
    case QPDFTokenizer::tt_null:
        return Type::null;
    case QPDFTokenizer::tt_bool:
        return Type::boolean;
    case QPDFTokenizer::tt_word:
        return Type::word;
    case QPDFTokenizer::tt_eof:
        return Type::eof;
    case QPDFTokenizer::tt_inline_image:
        return Type::inlineImage;
    default:
        return Type::bad;
    }
}

} // namespace

struct ContentTokens::Qpdf {
    explicit Qpdf(std::string_view content)
        : buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(content.data())), content.size()),
          input(std::make_shared<BufferInputSource>("page content", &buffer)) {
        tokenizer.allowEOF();
    }
    Buffer buffer;
    std::shared_ptr<InputSource> input;
    QPDFTokenizer tokenizer;
    QPDFTokenizer::Token token;
};

ContentTokens::ContentTokens(std::string_view content) : content_(content) {}

ContentTokens::~ContentTokens() = default;

void ContentTokens::next() {
    const std::size_t n = content_.size();
    while (pos_ < n && byteClass(content_[pos_]) == ByteClass::space) ++pos_;
    if (pos_ == n) {
        type_ = Type::eof;
        value_ = {};
        return;
    }
    const char first = content_[pos_];
    if (first == '[' || first == ']') {
        type_ = first == '[' ? Type::arrayOpen : Type::arrayClose;
        value_ = content_.substr(pos_++, 1);
        return;
    }
    if (byteClass(first) != ByteClass::regular) {
        byQpdf(false);
        return;
    }
    const std::size_t start = pos_;
    while (pos_ < n && byteClass(content_[pos_]) == ByteClass::regular) ++pos_;
    value_ = content_.substr(start, pos_ - start);
    type_ = wordOrNumber(value_);
}

void ContentTokens::nextInlineImage() {
    byQpdf(true);
}

void ContentTokens::byQpdf(bool inlineImage) {
    if (!qpdf_) qpdf_ = std::make_unique<Qpdf>(content_);
    Qpdf& q = *qpdf_;
    q.input->seek(static_cast<qpdf_offset_t>(pos_), SEEK_SET);
    if (inlineImage) {
        char ch;
        q.input->read(&ch, 1);
        q.tokenizer.expectInlineImage(q.input);
    }
    q.token = q.tokenizer.readToken(q.input, "content", true);
    pos_ = static_cast<std::size_t>(q.input->tell());
    type_ = typeOf(q.token.getType());
    value_ = q.token.getValue();
}

void scanContent(std::string_view content, State& state) {
    PageScanner(content, state).run();
}

std::optional<PDFRect> cellFor(double x, double y, const std::vector<PDFRect>& rects) {
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

std::vector<std::optional<PDFRect>> cellsFor(const std::vector<State::Shown>& shown,
                                             const std::vector<PDFRect>& rects) {
    std::vector<std::optional<PDFRect>> out(shown.size());
    std::vector<std::uint32_t> cand;
    std::vector<PDFRect> small;
    for (std::size_t i = 0; i < rects.size(); ++i) {
        if (isCandidate(rects[i])) cand.push_back(static_cast<std::uint32_t>(i));
    }
    if (cand.empty() || shown.empty()) return out;
    // A few rectangles: the plain rule is cheaper than any index.
    if (cand.size() * shown.size() <= 4096) {
        for (std::uint32_t c : cand) small.push_back(rects[c]);
        for (std::size_t p = 0; p < shown.size(); ++p) out[p] = cellFor(shown[p].x, shown[p].y, small);
        return out;
    }
    CellSweep(rects, std::move(cand)).run(shown, out);
    return out;
}

} // namespace detail

std::string decodeString(std::string_view b) {
    const std::size_t n = b.size();
    if (n >= 2 && n % 2 == 0 && (b[0] == 0 || (n >= 4 && b[2] == 0))) return decodeUTF16BE(b);
    if (n >= 2 && static_cast<unsigned char>(b[0]) == 0xFE && static_cast<unsigned char>(b[1]) == 0xFF)
        return decodeUTF16BE(b.substr(2));
    return decodePDFDoc(b);
}

Document read(const std::filesystem::path& path, std::stop_token stop) {
    return readDocument(&path, {}, fileNameOf(path), stop);
}

Document readFromMemory(std::string_view bytes, const std::string& name, std::stop_token stop) {
    return readDocument(nullptr, bytes, name, stop);
}

std::vector<PDFTextItem> items(const std::filesystem::path& path, std::stop_token stop) {
    return read(path, std::move(stop)).items;
}

std::vector<PDFTextItem> itemsFromMemory(std::string_view bytes, const std::string& name,
                                         std::stop_token stop) {
    return readFromMemory(bytes, name, std::move(stop)).items;
}

} // namespace rig::PDFText
