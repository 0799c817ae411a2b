#include "base/Text.h"
#include "base/TextMap.h"

#include <gtest/gtest.h>

#include <unicode/ubidi.h>
#include <unicode/unistr.h>

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

using namespace rig;

namespace {
const std::string composed = "\u00E9";    // é
const std::string decomposed = "e\u0301"; // e + combining acute
} // namespace

TEST(Text, CanonicalEquivalenceDecidesEqualityOrderAndHash) {
    EXPECT_TRUE(textEqual(composed, decomposed));
    EXPECT_FALSE(textEqual("e", composed));
    EXPECT_EQ(textCompare(composed, decomposed), 0);
    EXPECT_EQ(textHash(composed), textHash(decomposed));
    EXPECT_EQ(nfc(decomposed), composed);
    EXPECT_EQ(nfd(composed), decomposed);
}

TEST(Text, OrderingIsByCodePointNotUtf16) {
    // U+FF5E sorts before U+1F600 by code point, although UTF-16 would put the
    // surrogate pair first.
    EXPECT_LT(textCompare("\uFF5E", "\U0001F600"), 0);
    EXPECT_LT(textCompare("Z", "a"), 0);
    EXPECT_LT(textCompare("a", "ab"), 0);
    // Decomposed é sorts where composed é does: after "f".
    EXPECT_GT(textCompare(decomposed, "f"), 0);
}

TEST(Text, MapsAndSetsKeyByCanonicalTextAndIterateInCodePointOrder) {
    TextMap<int> m;
    m.set(composed, 1);
    m.set(decomposed, 2);
    EXPECT_EQ(m.size(), 1u);
    EXPECT_EQ(*m.get(composed), 2);
    m.set("b", 3);
    m.set("A", 4);
    std::vector<std::string> keys;
    for (const auto& [k, v] : m) keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"A", "b", composed}));

    TextSet s{composed};
    EXPECT_TRUE(s.contains(decomposed));
    EXPECT_FALSE(s.insert(decomposed));
    EXPECT_EQ(s, (TextSet{decomposed}));
    EXPECT_NE(s, TextSet{});

    // Keys stored one way and looked up the other: equivalent only when canonically so.
    const struct {
        std::string stored, asked;
        bool same;
    } corners[] = {
        {"Sc\u00E8ne/A", "Sce\u0300ne/A", true},  // composed vs decomposed inside a path
        {"q\u0307\u0323", "q\u0323\u0307", true}, // combining marks in either order
        {"\u212B", "\u00C5", true},               // Angstrom sign: a singleton decomposition
        {"\uAC00", "\u1100\u1161", true},         // Hangul syllable and its jamo
        {"\uFB01", "fi", false},                  // a compatibility ligature is another text
        {"e\u0301", "e", false},                  // a mark is part of the key
        {"A\xFF", "A\uFFFD", true},               // an ill-formed byte reads as U+FFFD
        {"Main", "main", false},                  // no case folding
        {"\u212Aelvin", "Kelvin", true},          // KELVIN SIGN is K
        {"\u2126 load", "\u03A9 load", true},     // OHM SIGN is omega
        {"\u0301\u00E9", "\u0301e\u0301", true},  // a name that begins with a mark
        {"\u0327\u0301x", "\u0301\u0327x", true}, // leading marks in either order
    };
    for (const auto& c : corners) {
        TextMap<int> table{{c.stored, 1}, {"Other", 2}};
        EXPECT_EQ(table.contains(c.asked), c.same) << c.asked;
        table.set(c.asked, 3);
        EXPECT_EQ(table.size(), c.same ? 2u : 3u) << c.asked;
        EXPECT_EQ(*table.get(c.stored), c.same ? 3 : 1) << c.asked;
        EXPECT_EQ(table == (TextMap<int>{{c.asked, 3}, {"Other", 2}}), c.same) << c.asked;
        TextSet set{c.stored};
        EXPECT_EQ(set.erase(c.asked), c.same) << c.asked;
    }
}

TEST(Text, MapCopiesShareUntilChanged) {
    TextMap<double> a;
    a.set("x", std::nan(""));
    TextMap<double> b = a;
    EXPECT_EQ(a, b); // same storage: equal although NaN equals nothing
    b.set("x", std::nan(""));
    EXPECT_NE(a, b);
    EXPECT_TRUE(b.erase("x"));
    EXPECT_TRUE(a.contains("x"));
    // Same values under another last key.
    EXPECT_NE((TextMap<int>{{"a", 1}, {"b", 2}}), (TextMap<int>{{"a", 1}, {"c", 2}}));
    EXPECT_NE((TextSet{"a", "b"}), (TextSet{"a", "c"}));
}

// Tab and space separators go; line breaks stay; a broken tail is kept, not crashed on.
TEST(Text, TrimRemovesTabAndSpaceSeparatorsOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {" \t a b \t ", "a b"},
        {"\u00A0x\u2003", "x"},
        {"x\u3000", "x"},
        {"\nx\r\n", "\nx\r\n"},
        {" \n ", "\n"},
        {"   ", ""},
        {"", ""},
        {"x\xC3", "x\xC3"},
    };
    for (const auto& [text, trimmed] : cases) EXPECT_EQ(trimWhite(text), trimmed) << text;
}

TEST(Text, CaseMappingAndFoldingAreLocaleIndependent) {
    EXPECT_EQ(toUpper("stra\u00DFe"), "STRASSE");
    EXPECT_EQ(toLower("\u00C9T\u00C9"), "\u00E9t\u00E9");
    EXPECT_EQ(toLower("I"), "i"); // not the dotless i of a Turkish locale
    EXPECT_TRUE(containsIgnoringCase("Gro\u00DFe Last", "GROSSE"));
    EXPECT_TRUE(containsIgnoringCase("CAF\u00C9", "caf" + decomposed));
    EXPECT_FALSE(containsIgnoringCase("POSSIBLE", "impossible"));
    EXPECT_TRUE(containsIgnoringCase("anything", ""));
    EXPECT_EQ(removeDiacritics("C\u00F4t\u00E9 Jardin S\u00FCd"), "Cote Jardin Sud");
    EXPECT_EQ(removeDiacritics("\u00D8"), "\u00D8"); // Ø has no decomposition
}

TEST(Text, Utf8ValidationAndLossyDecoding) {
    EXPECT_TRUE(isValidUtf8("plain" + composed + "\U0001F600"));
    for (const char* bad : {"a\xFF", "\xED\xA0\x80" /* surrogate */, "\xC0\xAF" /* overlong */, "\xE2\x82"}) {
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
    }
    EXPECT_EQ(decodeUtf8Lossy(std::string("a\xFF") + "b"), "a\uFFFDb");
    EXPECT_EQ(decodeUtf8Lossy("\xE2\x82"), "\uFFFD");
    EXPECT_TRUE(isValidUtf8(decodeUtf8Lossy("\xC0\xAF\xF5\x80")));
    EXPECT_EQ(decodeLatin1("caf\xE9"), "caf\u00E9");
    EXPECT_EQ(codePointCount("a" + composed + "\U0001F600"), 3u);
    std::string out;
    appendUtf8(out, 0xD800);
    EXPECT_EQ(out, "\uFFFD");
}

TEST(Text, PrefixByCanonicalEquivalence) {
    EXPECT_EQ(dropPrefix("Site: 3", "Site:"), " 3");
    EXPECT_EQ(dropPrefix("Caf" + decomposed + " 1", "Caf" + composed), " 1");
    EXPECT_FALSE(dropPrefix("Sit", "Site").has_value());
    // "e" followed by a combining accent is "é", which does not begin with "e".
    EXPECT_FALSE(startsWithText(decomposed + "x", "e"));
    EXPECT_TRUE(startsWithText("anything", ""));

    const struct {
        std::string text, prefix;
        std::optional<std::string> rest;
    } cases[] = {
        // A character whose canonical form is another single character, either side.
        {"\u212A2 left", "K2", " left"},
        {"K2 left", "\u212A2", " left"},
        {"\u2126 rated", "\u03A9", " rated"},
        // A prefix that would end inside a combined character: a mark, or a letter that
        // composes with the last one (Hangul jamo, an Oriya two-part vowel).
        {"KARA\u0301 II", "KARA", std::nullopt},
        {"\u1100\u1161 A", "\u1100", std::nullopt},
        {"\uAC00\u11A8 A", "\uAC00", std::nullopt},
        {"\u0B47\u0B3E", "\u0B47", std::nullopt},
        {"a\u1161", "a", "\u1161"}, // a vowel jamo after a letter it cannot join
        // A decomposed text and a composed prefix, and the other way round.
        {"\u1100\u1161\u11A8 Z", "\uAC01", " Z"},
        {"Sce\u0300ne: 3", "Sc\u00E8ne:", " 3"},
        {"Sc\u00E8ne: 3", "Sce\u0300ne:", " 3"},
        // Names that begin with a combining mark.
        {"\u0301abc", "\u0301", "abc"},
        {"\u0327\u0301x", "\u0301\u0327", "x"},
        {"\u0301\u0327x", "\u0301", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dropPrefix(c.text, c.prefix), c.rest) << c.text << " / " << c.prefix;
        EXPECT_EQ(startsWithText(c.text, c.prefix), c.rest.has_value()) << c.text << " / " << c.prefix;
    }
}

// Canonically equivalent texts map and fold alike, also where a mark maps to a letter of its
// own (U+0345 upper-cases to IOTA) and its place in the text therefore matters.
TEST(Text, CaseMappingRespectsCanonicalEquivalence) {
    const std::pair<std::string, std::string> same[] = {
        {"\u03B1\u0345\u0301", "\u03B1\u0301\u0345"},
        {"\u1FB4", "\u03B1\u0345\u0301"},
        {"\u212Aara", "Kara"},
        {"\u2126m", "\u03A9m"},
        {"Sc\u00E8ne", "Sce\u0300ne"},
        {"\u0301x", "\u0301x"},
    };
    for (const auto& [a, b] : same) {
        EXPECT_EQ(toUpper(a), toUpper(b)) << a << " / " << b;
        EXPECT_EQ(toLower(a), toLower(b)) << a << " / " << b;
        EXPECT_EQ(foldCase(a), foldCase(b)) << a << " / " << b;
        EXPECT_TRUE(isComposed(toUpper(a)) && isComposed(foldCase(a))) << a;
    }
    EXPECT_EQ(toUpper("\u212Aara"), "KARA");
    EXPECT_EQ(toUpper("sce\u0300ne"), "SC\u00C8NE");
    EXPECT_EQ(toLower("ABC-xyz 09"), "abc-xyz 09");

    // Case-blind containment: either side composed, decomposed or in another canonical shape.
    const struct {
        std::string haystack, needle;
        bool found;
    } cases[] = {
        {"The \u212AELVIN rating", "kelvin", true}, {"Load 2 \u2126", "\u03C9", true},
        {"CAFE\u0301 noir", "caf\u00E9", true},     {"caf\u00E9 noir", "CAFE\u0301", true},
        {"cafe\u0301 noir", "cafe noir", false}, // the accent belongs to the e
        {"IMPOSSIBLE\u0301", "impossible", false},  {"x\u03B1\u0345\u0301", "\u1FB4", true},
        {"\u0301Impossible", "impossible", true}, // a leading mark has no letter to join
    };
    for (const auto& c : cases)
        EXPECT_EQ(containsIgnoringCase(c.haystack, c.needle), c.found) << c.haystack << " / " << c.needle;
    EXPECT_EQ(removeDiacritics("\u212A2 Sce\u0300ne"), "K2 Scene");
}

namespace {

// What a reader sees of `text` on a left-to-right line (ICU's own reordering, controls dropped).
std::string seen(const std::string& text) {
    const icu::UnicodeString logical = icu::UnicodeString::fromUTF8(text);
    UErrorCode status = U_ZERO_ERROR;
    UBiDi* bidi = ubidi_open();
    ubidi_setPara(bidi, logical.getBuffer(), logical.length(), UBIDI_LTR, nullptr, &status);
    icu::UnicodeString visual;
    const int32_t capacity = logical.length() * 2 + 8;
    const int32_t length =
        ubidi_writeReordered(bidi, visual.getBuffer(capacity), capacity, UBIDI_REMOVE_BIDI_CONTROLS, &status);
    visual.releaseBuffer(U_SUCCESS(status) ? length : 0);
    ubidi_close(bidi);
    std::string out;
    visual.toUTF8String(out);
    return out;
}

} // namespace

TEST(Text, SingleLineShowsEachLineBreakAsOneSpace) {
    const std::pair<std::string, std::string> cases[] = {
        {"Main L", "Main L"},
        {"Main\u2028L", "Main L"},      // line separator
        {"Main\u2029L", "Main L"},      // paragraph separator
        {"Main\nL", "Main L"},          // LF
        {"Main\rL", "Main L"},          // CR
        {"Main\r\nL", "Main L"},        // CR LF is one break
        {"Main\n\rL", "Main  L"},       // LF CR are two
        {"Main\xC2\x85L", "Main L"},    // NEL
        {"Main\vL\fR", "Main L R"},     // VT, FF
        {"\u2028Main\u2029", " Main "}, // at the ends too
        {"Main\tL\u00A0R", "Main\tL\u00A0R"},
        {"a\xFF\nb", "a\xFF b"},
    };
    for (const auto& [text, line] : cases) EXPECT_EQ(singleLine(text), line) << text;
}

TEST(Text, NamesThatCouldReorderTheirNeighboursAreIsolated) {
    const std::pair<std::string, std::string> cases[] = {
        {"Main L", "Main L"},
        {"12 «centre» é", "12 «centre» é"},
        {"\u05E9\u05DC\u05D5\u05DD", "\u2068\u05E9\u05DC\u05D5\u05DD\u2069"},
        {"\u0661\u0662", "\u2068\u0661\u0662\u2069"}, // Arabic digits
        // Embeddings and overrides are dropped: the letters read in their own order.
        {"RTL \u202Egnp.exe\u202C", "\u2068RTL gnp.exe\u2069"},
        {"\u202Eevil name", "\u2068evil name\u2069"},
        {"\u202A\u202B\u202D12\u202C", "\u206812\u2069"},
        {"a\u2069\u202Eb", "\u2068\u2068a\u2069b\u2069"}, // its stray PDI closes an extra FSI
        {"\u2067x", "\u2068\u2067x\u2069\u2069"},         // its open RLI is closed
        {"A\u2029\u202Eb", "A\u2029\u2068b\u2069"},       // per paragraph
        {"a\xFF", "a\xFF"},
    };
    for (const auto& [name, shown] : cases) EXPECT_EQ(bidiIsolated(name), shown) << name;

    // Whatever the name holds, the text around it reads in its own order.
    for (const std::string name : {"RTL \u202Egnp.exe\u202C", "\u202Eab", "\u05E9\u05DC\u05D5\u05DD 2",
                                   "x\u2069\u202Eb", "\u2067abc", "\u202Bab\u2069\u202E\u2066"}) {
        const std::string line = seen("head · " + bidiIsolated(name) + " · 3 kg");
        EXPECT_TRUE(line.starts_with("head · ") && line.ends_with(" · 3 kg")) << line;
    }
    EXPECT_FALSE(seen("\u202Eab · 3 kg").ends_with(" · 3 kg")); // as it would be without
    EXPECT_NE(seen("head · " + bidiIsolated("\u202Eevil name")).find("evil name"), std::string::npos);
    EXPECT_NE(seen("\u202Eevil name").find("eman live"), std::string::npos); // as it would be without
}

// Cut to 255 bytes with the extension, never inside a character or between a letter and its
// accent.
TEST(Text, ProposedFileNamesDropControlAndDirectionCharactersAndFitTheFileSystem) {
    std::string accented = "x";
    for (int i = 0; i < 100; ++i) accented += "e\u0301"; // 3 bytes a character
    const std::pair<std::string, std::string> names[] = {
        {"AC/DC", "ACDC"},
        {"Main\nStage\t1\x1B[31m\r\x7F\u0085", "MainStage1[31m"},
        {"Show\u202Efdp.exe\u2066\u2069\u200F\u2028", "Showfdp.exe"},
        {std::string("\n\0/", 3), "Rig"},
        {".", "Rig"}, // never hidden
        {"\n..", "Rig"},
        {".hidden.", "hidden."},
        {std::string(300, 'x'), std::string(255 - 15, 'x')},
        {accented, accented.substr(0, 1 + 79 * 3)},
    };
    for (const auto& [base, proposed] : names)
        EXPECT_EQ(proposedFileName(base, " – points.pdf", "Rig"), proposed + " – points.pdf");
}
