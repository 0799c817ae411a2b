// Unicode text helpers. Model texts are UTF-8 std::string values; they compare by
// canonical equivalence (NFC) and order by the code points of their NFC form.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace rig {

// --- Normalisation, equality, ordering, hashing ---------------------------------

// NFC form of a UTF-8 text (invalid bytes become U+FFFD).
std::string nfc(std::string_view text);
// NFD form of a UTF-8 text.
std::string nfd(std::string_view text);
// True when the two texts are canonically equivalent.
bool textEqual(std::string_view a, std::string_view b);
// <0, 0, >0 by the code points of the NFC forms.
int textCompare(std::string_view a, std::string_view b);
// Hash of the NFC form: canonically equivalent texts hash alike.
std::size_t textHash(std::string_view text);
// True when the text is well-formed UTF-8 already in NFC (every ASCII text is).
bool isComposed(std::string_view text);

// The NFC form of a text, copied only when the text is not composed already. Holds on to
// `text`, so it must not outlive it.
class Composed {
public:
    explicit Composed(std::string_view text);
    Composed(const Composed&) = delete;
    Composed& operator=(const Composed&) = delete;
    std::string_view view() const { return view_; }

private:
    std::string own_;
    std::string_view view_;
};

// Ordering for std::map / std::set keyed by model texts (transparent).
struct TextLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return textCompare(a, b) < 0; }
};
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return textHash(s); }
};
struct TextEqualTo {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return textEqual(a, b); }
};

// When `text` begins with `prefix` (canonically, and never inside one of its characters), the
// rest after it; else none. The rest is taken from the NFC form when the bytes differ.
std::optional<std::string> dropPrefix(std::string_view text, std::string_view prefix);
bool startsWithText(std::string_view text, std::string_view prefix);

// --- White space --------------------------------------------------------------------

// The import's white space: tab and Unicode space separators (Zs). Line breaks are not.
bool isImportWhite(char32_t c);
// Trims the import's white space from both ends.
std::string trimWhite(std::string_view text);

// --- Lines -------------------------------------------------------------------------

// Byte length of the line break that starts at `pos`, or 0. Each of U+000A to U+000D,
// U+0085, U+2028 and U+2029 is one break.
std::size_t lineBreakAt(std::string_view text, std::size_t pos);

// VT, FF, NEL, LS and PS: line breaks that a text whose lines end in CR or LF holds only
// inside a line (a name that holds one, say).
inline bool isInnerLineBreak(char32_t c) {
    return c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// The text on one line: each line break (CR LF as one) becomes a space. For display where a
// break would draw the text as lines cut in half (a row, a title, a menu); stored text keeps
// its breaks.
std::string singleLine(std::string_view text);

// The lines of a text, one at a time, split at every line break; CR LF is one break. Empty
// lines are kept, and a break at the very end gives a last, empty line.
class LineSplitter {
public:
    explicit LineSplitter(std::string_view text) : text_(text) {}
    std::optional<std::string_view> next();

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    bool done_ = false;
};

// --- Case ---------------------------------------------------------------------------

// Full case mapping with the root locale's rules ("ß" -> "SS"), composed (NFC):
// canonically equivalent texts map to the same text.
std::string toUpper(std::string_view text);
std::string toLower(std::string_view text);
// Full, locale-independent case folding, composed like the mappings above.
std::string foldCase(std::string_view text);
// Case-insensitive containment by full case folding (also canonical).
bool containsIgnoringCase(std::string_view haystack, std::string_view needle);

// Canonical decomposition with the combining marks (Mn) removed, recomposed.
std::string removeDiacritics(std::string_view text);

// --- Display ------------------------------------------------------------------------

// The text ready to stand beside other text on screen or paper: each of its paragraphs that
// holds a right-to-left letter, an Arabic digit or a directional control is put between
// FSI (U+2068) and PDI (U+2069), with its own unmatched isolates balanced, so nothing in it
// can reorder what comes before or after it; its directional embeddings and overrides are
// dropped, so its letters show in their own order. Other text comes back unchanged. For
// display only: stored and published text keeps its own form.
std::string bidiIsolated(std::string_view text);

// A piece of a file or of a server's answer for a message: its first `length` characters,
// with "…" after them when there were more; ill-formed bytes become U+FFFD. However long a
// value is, a message quotes only this much of it.
inline constexpr std::size_t messagePieceLength = 60;
std::string messagePiece(std::string_view text, std::size_t length = messagePieceLength);

// Why the bytes of a file are no text to read or quote, said after the file's name ("is not
// a text file", "is UTF-16 text, not UTF-8"); none for text. Looks at their start only.
std::optional<std::string> whyNotText(std::string_view bytes);

// --- Length -------------------------------------------------------------------------

// The longest start of `text` of at most `maxBytes` bytes that ends between two characters:
// never inside a code point, nor between a letter and the marks or joiners that go with it.
std::string_view cutToBytes(std::string_view text, std::size_t maxBytes);

// --- File names ---------------------------------------------------------------------

// The most bytes one file name takes on common file systems.
inline constexpr std::size_t maxFileNameBytes = 255;

// A file name proposed from a name the user or a report gave: `base` without "/", control
// characters (line breaks, tabs, escapes) and the characters that set the direction of text
// (they could show the name, and its extension, in another order), cut between two
// characters so that the name with `suffix` fits in maxFileNameBytes; then `suffix`, which
// ends in the extension and is kept whole. Leading dots go (the file would be hidden); an empty
// base becomes `fallback`.
std::string proposedFileName(std::string_view base, std::string_view suffix, std::string_view fallback);

// --- Encodings ----------------------------------------------------------------------

bool isAscii(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);
// Decodes UTF-8, replacing every ill-formed sequence by U+FFFD.
std::string decodeUtf8Lossy(std::string_view bytes);
// Each byte is the code point of the same value.
std::string decodeLatin1(std::string_view bytes);
// Appends one code point as UTF-8 (surrogates and out-of-range values become U+FFFD).
void appendUtf8(std::string& out, char32_t c);
// Decodes the code point at `pos` (lossy: U+FFFD for an ill-formed sequence) and advances `pos`.
char32_t nextCodePoint(std::string_view text, std::size_t& pos);
// Number of code points.
std::size_t codePointCount(std::string_view text);

} // namespace rig
