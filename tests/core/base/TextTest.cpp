#include "base/Text.h"
#include "base/TextMap.h"

#include <gtest/gtest.h>

#include <cmath>

#include <vector>

using namespace rig;

namespace {
const std::string composed = "\xC3\xA9";    // é
const std::string decomposed = "e\xCC\x81"; // e + U+0301
} // namespace

TEST(Text, CanonicalEquivalenceDecidesEqualityOrderAndHash) {
    EXPECT_TRUE(textEqual(composed, decomposed));
    EXPECT_TRUE(textEqual("Caf" + composed, "Caf" + decomposed));
    EXPECT_FALSE(textEqual("e", composed));
    EXPECT_EQ(textCompare(composed, decomposed), 0);
    EXPECT_EQ(textHash(composed), textHash(decomposed));
    EXPECT_EQ(nfc(decomposed), composed);
    EXPECT_EQ(nfd(composed), decomposed);
}

TEST(Text, OrderingIsByCodePointNotUtf16) {
    // U+FF5E (fullwidth tilde) sorts before U+1F600 by code point, although UTF-16
    // would put the surrogate pair first.
    EXPECT_LT(textCompare("\xEF\xBD\x9E", "\xF0\x9F\x98\x80"), 0);
    EXPECT_LT(textCompare("Z", "a"), 0);
    EXPECT_LT(textCompare("a", "ab"), 0);
    // Decomposed é sorts where composed é does: after "f".
    EXPECT_GT(textCompare(decomposed, "f"), 0);
}

TEST(Text, MapsAndSetsKeyByCanonicalText) {
    TextMap<int> m;
    m.set(composed, 1);
    m.set(decomposed, 2);
    EXPECT_EQ(m.size(), 1u);
    ASSERT_NE(m.get(decomposed), nullptr);
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
}

TEST(Text, MapCopiesShareUntilChanged) {
    TextMap<double> a;
    a.set("x", std::nan(""));
    TextMap<double> b = a;
    EXPECT_EQ(a, b); // same storage: equal although NaN equals nothing
    b.set("x", std::nan(""));
    EXPECT_NE(a, b);
    EXPECT_TRUE(a.contains("x"));
    EXPECT_TRUE(b.erase("x"));
    EXPECT_TRUE(a.contains("x"));
}

TEST(Text, TrimRemovesTabAndSpaceSeparatorsOnly) {
    EXPECT_EQ(trimWhite(" \t a b \t "), "a b");
    EXPECT_EQ(trimWhite("\xC2\xA0x\xE2\x80\x83"), "x"); // no-break space, em space
    EXPECT_EQ(trimWhite("\nx\r\n"), "\nx\r\n");         // line breaks stay
    EXPECT_EQ(trimWhite(" \n "), "\n");
    EXPECT_EQ(trimWhite("   "), "");
    EXPECT_EQ(trimWhite(""), "");
    EXPECT_EQ(trimWhite("x\xE3\x80\x80"), "x"); // ideographic space
    EXPECT_EQ(trimWhite("x\xC3"), "x\xC3");     // a broken tail is kept, not crashed on
}

TEST(Text, CaseMappingAndFoldingAreLocaleIndependent) {
    EXPECT_EQ(toUpper("stra\xC3\x9F"
                      "e"),
              "STRASSE");
    EXPECT_EQ(toLower("\xC3\x89T\xC3\x89"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(toLower("I"), "i"); // not the dotless i of a Turkish locale
    EXPECT_TRUE(containsIgnoringCase("THIS IS IMPOSSIBLE TO RIG", "impossible"));
    EXPECT_TRUE(containsIgnoringCase("Gro\xC3\x9F"
                                     "e Last",
                                     "GROSSE"));
    EXPECT_TRUE(containsIgnoringCase("CAF" + std::string("\xC3\x89"), "caf" + decomposed));
    EXPECT_FALSE(containsIgnoringCase("possible", "impossible"));
    EXPECT_TRUE(containsIgnoringCase("anything", ""));
}

TEST(Text, DiacriticsRemoval) {
    EXPECT_EQ(removeDiacritics("C\xC3\xB4t\xC3\xA9 Jardin"), "Cote Jardin");
    EXPECT_EQ(removeDiacritics("S" + std::string("\xC3\xBC") + "d"), "Sud");
    EXPECT_EQ(removeDiacritics("\xC3\x98"), "\xC3\x98"); // Ø has no decomposition
}

TEST(Text, Utf8ValidationAndLossyDecoding) {
    EXPECT_TRUE(isValidUtf8("plain"));
    EXPECT_TRUE(isValidUtf8(composed + "\xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("a\xFF"
                             "b"));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80")); // encoded surrogate
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));     // overlong
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));     // truncated
    EXPECT_EQ(decodeUtf8Lossy("a\xFF"
                              "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(decodeUtf8Lossy("\xE2\x82"), "\xEF\xBF\xBD");
    EXPECT_TRUE(isValidUtf8(decodeUtf8Lossy("\xC0\xAF\xF5\x80")));
    EXPECT_EQ(decodeLatin1("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(codePointCount("a" + composed + "\xF0\x9F\x98\x80"), 3u);
    std::string out;
    appendUtf8(out, 0xD800);
    EXPECT_EQ(out, "\xEF\xBF\xBD");
}

TEST(Text, PrefixByCanonicalEquivalence) {
    EXPECT_EQ(dropPrefix("Site: 3", "Site:"), " 3");
    EXPECT_EQ(dropPrefix("Caf" + decomposed + " 1", "Caf" + composed), " 1");
    EXPECT_FALSE(dropPrefix("Sit", "Site").has_value());
    // "e" followed by a combining accent is "é", which does not begin with "e".
    EXPECT_FALSE(startsWithText(decomposed + "x", "e"));
    EXPECT_TRUE(startsWithText("anything", ""));
}
