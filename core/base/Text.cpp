#include "base/Text.h"

#include <cstdint>
#include <cstring>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>

namespace rig {

bool isAscii(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x80) return false;
    }
    return true;
}

namespace {

icu::UnicodeString fromUtf8(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

std::string toUtf8(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

const icu::Normalizer2& nfcNormalizer() {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
    return *n; // the data is built into libicudata; failure here means a broken ICU install
}

const icu::Normalizer2& nfdNormalizer() {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFDInstance(status);
    return *n;
}

std::string normalize(const icu::Normalizer2& n, std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString u = fromUtf8(text);
    icu::UnicodeString out = n.normalize(u, status);
    if (U_FAILURE(status)) return toUtf8(u);
    return toUtf8(out);
}

} // namespace

bool isComposed(std::string_view s) {
    if (isAscii(s)) return true;
    if (!isValidUtf8(s)) return false;
    UErrorCode status = U_ZERO_ERROR;
    const bool yes =
        nfcNormalizer().isNormalizedUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())), status);
    return U_SUCCESS(status) && yes;
}

Composed::Composed(std::string_view text) {
    if (isComposed(text)) {
        view_ = text;
    } else {
        own_ = nfc(text);
        view_ = own_;
    }
}

std::string nfc(std::string_view text) {
    if (isComposed(text)) return std::string(text);
    return normalize(nfcNormalizer(), text);
}

std::string nfd(std::string_view text) {
    if (isAscii(text)) return std::string(text);
    return normalize(nfdNormalizer(), text);
}

bool textEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (isAscii(a) && isAscii(b)) return false;
    return nfc(a) == nfc(b);
}

int textCompare(std::string_view a, std::string_view b) {
    // UTF-8 byte order is code-point order.
    if (isComposed(a) && isComposed(b)) return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    std::string na = nfc(a), nb = nfc(b);
    return na.compare(nb) < 0 ? -1 : (na == nb ? 0 : 1);
}

std::size_t textHash(std::string_view text) {
    if (isAscii(text)) return std::hash<std::string_view>{}(text);
    std::string n = nfc(text);
    return std::hash<std::string_view>{}(n);
}

std::optional<std::string> dropPrefix(std::string_view text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) == prefix) {
        // What follows may still belong to the prefix's last character: a combining mark, or a
        // letter that composes with it (a Hangul vowel after its consonant). Only where
        // composition cannot reach back is the byte match a match.
        std::size_t pos = prefix.size();
        if (pos >= text.size() || isAscii(text.substr(pos, 1)) || prefix.empty()) {
            return std::string(text.substr(prefix.size()));
        }
        char32_t next = nextCodePoint(text, pos);
        if (nfcNormalizer().hasBoundaryBefore(static_cast<UChar32>(next)))
            return std::string(text.substr(prefix.size()));
    }
    if (isAscii(text) && isAscii(prefix)) return std::nullopt;
    std::string nt = nfc(text), np = nfc(prefix);
    if (nt.compare(0, np.size(), np) != 0) return std::nullopt;
    std::string rest = nt.substr(np.size());
    if (!rest.empty() && !np.empty()) {
        std::size_t pos = 0;
        char32_t next = nextCodePoint(rest, pos);
        if (u_getCombiningClass(static_cast<UChar32>(next)) != 0) return std::nullopt;
    }
    return rest;
}

bool startsWithText(std::string_view text, std::string_view prefix) {
    return dropPrefix(text, prefix).has_value();
}

namespace {

// Bytes that cannot begin a line break, checked before anything else: the readers spend
// most of their time here.
inline bool mayBeginBreak(unsigned char c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0xC2 || c == 0xE2;
}

inline std::size_t breakWidth(std::string_view t, std::size_t i) {
    const auto c = static_cast<unsigned char>(t[i]);
    if (c >= 0x0A && c <= 0x0D) return 1;
    if (c == 0xC2 && i + 1 < t.size() && static_cast<unsigned char>(t[i + 1]) == 0x85) return 2;
    if (c == 0xE2 && i + 2 < t.size() && static_cast<unsigned char>(t[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(t[i + 2]) & 0xFE) == 0xA8)
        return 3;
    return 0;
}

} // namespace

std::size_t lineBreakAt(std::string_view text, std::size_t pos) {
    return breakWidth(text, pos);
}

std::string singleLine(std::string_view text) {
    std::string out;
    LineSplitter lines(text);
    for (bool first = true; const std::optional<std::string_view> line = lines.next(); first = false) {
        if (!first) out += ' ';
        out += *line;
    }
    return out;
}

std::optional<std::string_view> LineSplitter::next() {
    if (done_) return std::nullopt;
    const std::size_t start = pos_;
    const char* data = text_.data();
    const std::size_t n = text_.size();
    for (std::size_t i = start; i < n; ++i) {
        if (!mayBeginBreak(static_cast<unsigned char>(data[i]))) continue;
        std::size_t width = breakWidth(text_, i);
        if (width == 0) continue;
        if (data[i] == '\r' && i + 1 < n && data[i + 1] == '\n') width = 2;
        pos_ = i + width;
        return text_.substr(start, i - start);
    }
    done_ = true;
    return text_.substr(start);
}

bool isImportWhite(char32_t c) {
    return c == U'\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

std::string trimWhite(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end) {
        std::size_t pos = begin;
        if (!isImportWhite(nextCodePoint(text, pos))) break;
        begin = pos;
    }
    // Scan from the back: find the start of the last code point each time.
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && end - start < 4)
            --start;
        std::size_t pos = start;
        char32_t c = nextCodePoint(text, pos);
        if (pos != end) { // not one well-formed code point: keep the bytes
            break;
        }
        if (!isImportWhite(c)) break;
        end = start;
    }
    return std::string(text.substr(begin, end - begin));
}

// Case is mapped on the decomposed text: a mark such as U+0345, which maps to a letter of its
// own, must stand in its canonical place, or equivalent texts would map apart.
std::string toUpper(std::string_view text) {
    if (isAscii(text)) {
        std::string out(text);
        for (char& c : out) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        return out;
    }
    icu::UnicodeString u = fromUtf8(nfd(text));
    u.toUpper(icu::Locale::getRoot());
    return nfc(toUtf8(u));
}

std::string toLower(std::string_view text) {
    if (isAscii(text)) {
        std::string out(text);
        for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        return out;
    }
    icu::UnicodeString u = fromUtf8(nfd(text));
    u.toLower(icu::Locale::getRoot());
    return nfc(toUtf8(u));
}

std::string foldCase(std::string_view text) {
    icu::UnicodeString u = fromUtf8(nfd(text));
    u.foldCase(U_FOLD_CASE_DEFAULT);
    return nfc(toUtf8(u));
}

bool containsIgnoringCase(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    return foldCase(haystack).find(foldCase(needle)) != std::string::npos;
}

std::string removeDiacritics(std::string_view text) {
    icu::UnicodeString u = fromUtf8(nfd(text));
    icu::UnicodeString out;
    for (int32_t i = 0; i < u.length();) {
        UChar32 c = u.char32At(i);
        i += U16_LENGTH(c);
        if (u_charType(c) != U_NON_SPACING_MARK) out.append(c);
    }
    return nfc(toUtf8(out));
}

namespace {

// Decodes one code point at `pos` (windowed so offsets fit ICU's 32-bit macros).
// A negative result marks an ill-formed sequence; `pos` then skips its maximal subpart.
int32_t decodeAt(std::string_view text, std::size_t& pos) {
    unsigned char lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t window = std::min<std::size_t>(4, text.size() - pos);
    const auto* s = reinterpret_cast<const uint8_t*>(text.data() + pos);
    int32_t i = 0;
    UChar32 c;
    U8_NEXT(s, i, static_cast<int32_t>(window), c);
    pos += static_cast<std::size_t>(i);
    return c;
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    const std::size_t n = bytes.size();
    for (std::size_t pos = 0; pos < n;) {
        // Runs of ASCII, eight bytes at a time.
        while (pos + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + pos, 8);
            if (word & 0x8080808080808080u) break;
            pos += 8;
        }
        if (pos < n && static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        if (pos < n && decodeAt(bytes, pos) < 0) return false;
    }
    return true;
}

char32_t nextCodePoint(std::string_view text, std::size_t& pos) {
    int32_t c = decodeAt(text, pos);
    return c < 0 ? char32_t(0xFFFD) : static_cast<char32_t>(c);
}

void appendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string decodeUtf8Lossy(std::string_view bytes) {
    if (isAscii(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t start = pos;
        if (decodeAt(bytes, pos) >= 0) {
            out.append(bytes.substr(start, pos - start));
        } else {
            appendUtf8(out, 0xFFFD);
        }
    }
    return out;
}

std::string decodeLatin1(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (unsigned char b : bytes) appendUtf8(out, b);
    return out;
}

std::size_t codePointCount(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t pos = 0; pos < text.size(); ++n) nextCodePoint(text, pos);
    return n;
}

std::string messagePiece(std::string_view text, std::size_t length) {
    std::size_t pos = 0;
    for (std::size_t n = 0; n < length && pos < text.size(); ++n) nextCodePoint(text, pos);
    std::string piece = decodeUtf8Lossy(text.substr(0, pos));
    if (pos < text.size()) piece += "\u2026";
    return piece;
}

std::optional<std::string> whyNotText(std::string_view bytes) {
    const std::string_view head = bytes.substr(0, 64 * 1024);
    const bool bom = head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF");
    std::size_t zeros[2] = {0, 0};
    std::size_t controls = 0;
    for (std::size_t i = 0; i < head.size(); ++i) {
        const auto c = static_cast<unsigned char>(head[i]);
        if (c == 0) ++zeros[i % 2];
        // Tab and the line breaks are text; other control bytes are not.
        if (c < 0x20 && (c < 0x09 || c > 0x0D)) ++controls;
    }
    // Text of Latin letters in UTF-16 has a zero in every other byte.
    const std::size_t half = head.size() / 2;
    if (bom ||
        (half > 0 && std::max(zeros[0], zeros[1]) * 4 >= half * 3 && std::min(zeros[0], zeros[1]) == 0))
        return "is UTF-16 text, not UTF-8";
    if (zeros[0] + zeros[1] > 0 || controls * 100 > head.size()) return "is not a text file";
    return std::nullopt;
}

std::string bidiIsolated(std::string_view text) {
    constexpr std::string_view fsi = "\u2068", pdi = "\u2069";
    std::string out;
    std::size_t start = 0;
    bool moves = false;
    std::size_t open = 0, stray = 0; // isolates the paragraph opens and does not close, closes unopened
    auto flush = [&](std::size_t end) {
        const std::string_view part = text.substr(start, end - start);
        if (moves) {
            // A stray PDI of the text closes one of the extra FSIs, never ours.
            for (std::size_t i = 0; i <= stray; ++i) out += fsi;
            // Embeddings and overrides go: an override shows a name's letters in an order
            // other than its own ("evil name" as "eman live").
            for (std::size_t pos = 0; pos < part.size();) {
                const std::size_t at = pos;
                const char32_t c = nextCodePoint(part, pos);
                if (c < 0x202A || c > 0x202E) out += part.substr(at, pos - at);
            }
            for (std::size_t i = 0; i <= open; ++i) out += pdi;
        } else {
            out += part;
        }
        moves = false;
        open = stray = 0;
    };
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t at = pos;
        switch (u_charDirection(static_cast<UChar32>(nextCodePoint(text, pos)))) {
        case U_BLOCK_SEPARATOR: // a paragraph ends every isolate: each one is isolated alone
            flush(at);
            out += text.substr(at, pos - at);
            start = pos;
            break;
        case U_RIGHT_TO_LEFT:
        case U_RIGHT_TO_LEFT_ARABIC:
        case U_ARABIC_NUMBER:
        case U_LEFT_TO_RIGHT_EMBEDDING:
        case U_LEFT_TO_RIGHT_OVERRIDE:
        case U_RIGHT_TO_LEFT_EMBEDDING:
        case U_RIGHT_TO_LEFT_OVERRIDE:
        case U_POP_DIRECTIONAL_FORMAT:
            moves = true;
            break;
        case U_LEFT_TO_RIGHT_ISOLATE:
        case U_RIGHT_TO_LEFT_ISOLATE:
        case U_FIRST_STRONG_ISOLATE:
            moves = true;
            ++open;
            break;
        case U_POP_DIRECTIONAL_ISOLATE:
            moves = true;
            if (open > 0) {
                --open;
            } else {
                ++stray;
            }
            break;
        default:
            break;
        }
    }
    flush(text.size());
    return out;
}

std::string_view cutToBytes(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    std::size_t end = 0;
    // The iterator counts in 32 bits.
    if (maxBytes >= std::size_t(INT32_MAX)) status = U_INDEX_OUTOFBOUNDS_ERROR;
    if (U_SUCCESS(status)) {
        characters->setText(utext, status);
        // UTF-8 text: the iterator's offsets are byte offsets.
        const int32_t before = characters->preceding(static_cast<int32_t>(maxBytes) + 1);
        if (U_SUCCESS(status) && before != icu::BreakIterator::DONE) end = static_cast<std::size_t>(before);
    }
    utext_close(utext);
    if (!U_SUCCESS(status)) {
        // Never inside a code point at least.
        end = maxBytes;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    }
    return text.substr(0, std::min(end, maxBytes));
}

std::string proposedFileName(std::string_view base, std::string_view suffix, std::string_view fallback) {
    std::string name;
    name.reserve(base.size());
    for (std::size_t pos = 0; pos < base.size();) {
        const char32_t c = nextCodePoint(base, pos);
        const auto u = static_cast<UChar32>(c);
        // A line or paragraph separator breaks the name as a line feed does.
        if (c == U'/' || u_charType(u) == U_CONTROL_CHAR || c == 0x2028 || c == 0x2029 ||
            u_hasBinaryProperty(u, UCHAR_BIDI_CONTROL))
            continue;
        // A name starting with "." would be hidden, "." and ".." no file at all.
        if (c == U'.' && name.empty()) continue;
        appendUtf8(name, c);
    }
    const std::size_t room = maxFileNameBytes > suffix.size() ? maxFileNameBytes - suffix.size() : 0;
    name.resize(cutToBytes(name, room).size());
    if (name.empty()) name = cutToBytes(fallback, room);
    return name + std::string(suffix);
}

} // namespace rig
