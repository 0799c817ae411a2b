#include "import/InventoryCSV.h"

#include "import/ImportNotes.h"
#include "model/RigError.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <system_error>

using namespace rig;

namespace {

InventoryItem item(std::string category, std::int64_t quantity, std::string family, std::string product,
                   std::string description = "", std::optional<std::int64_t> channels = std::nullopt) {
    InventoryItem i;
    i.category = std::move(category);
    i.quantity = quantity;
    i.family = std::move(family);
    i.product = std::move(product);
    i.description = std::move(description);
    i.ampChannels = channels;
    return i;
}

std::vector<InventoryItem> rows(std::string_view text) {
    return InventoryCSV::parseText(text).vec();
}

} // namespace

TEST(InventoryCSV, ReadsRowsByTheFieldTable) {
    EXPECT_EQ(rows("Category;Quantity;Family;Product;Description;Amp channels\n"
                   "Enclosure; 12 ;K2;K2;;\n"
                   "Rigging;2;K2;K2-BUMP\n"
                   "Amplifier;4;LA;LA12X;Amplified controller;4;extra;fields\n"
                   "Amplifier;1;LA;LA4X;;four\n"
                   "\tCable\u00A0; +5 ;\"DO\";\"A;B\";x\n" // no quoting: a ";" inside quotes splits
                   "Enclosure;-2;A;B\n"
                   "A;9223372036854775807;B;C"),
              (std::vector<InventoryItem>{
                  item("Enclosure", 12, "K2", "K2"), item("Rigging", 2, "K2", "K2-BUMP"),
                  item("Amplifier", 4, "LA", "LA12X", "Amplified controller", 4),
                  item("Amplifier", 1, "LA", "LA4X"), item("Cable", 5, "\"DO\"", "\"A", "B\""),
                  item("Enclosure", -2, "A", "B"), item("A", INT64_MAX, "B", "C")}));
}

TEST(InventoryCSV, LinesThatMakeNoRow) {
    const std::vector<std::pair<std::string, std::size_t>> cases = {
        {"", 0},
        {"a;b;c\nA;x;B;C\nA;2.0;B;C\nA;;B;C\nA;3 pcs;B;C\nA;-;B;C\nA;99999999999999999999;B;C\n", 0},
        // A tab is not removed by the line trim but by the field trim.
        {"\t\nA;1;B;C\t", 1},
        // The header is the very first line only, whatever its case and fields.
        {"CATEGORY;whatever;x;y;z", 0},
        {"cAtEgOrY;1;B;C\nA;1;B;C", 1},
        // After an empty first line a header goes for its quantity only.
        {"\nCategory;Quantity;Family;Product\nA;1;B;C", 1},
        {"\nCategory;7;Family;Product", 1},
        // The byte-order mark is trimmed before the header test.
        {"\xEF\xBB\xBF"
         "Category;1;B;C",
         0},
    };
    for (const auto& [text, count] : cases) EXPECT_EQ(rows(text).size(), count) << text;
}

TEST(InventoryCSV, WhatABreakInsideARowCutsOffIsNamed) {
    // CR LF lines; U+2028 and U+2029 in a product's name still split, as every line break
    // does, and what they cut off without making a row is named.
    ImportNotes notes;
    const auto read = InventoryCSV::parseText("Category;Quantity;Family;Product;Description;Amp channels\r\n"
                                              "Enclosure;12;K2;K2 Special\u2028Edition;desc;4\r\n"
                                              "Rigging;2;K\u20292;BUMP\r\n"
                                              "bad line\r\n" // makes no row, but no break cut it
                                              "Amplifier;4;LA;LA12X\u2028\r\n",
                                              {}, &notes);
    EXPECT_EQ(read.vec(), (std::vector<InventoryItem>{item("Enclosure", 12, "K2", "K2 Special"),
                                                      item("Amplifier", 4, "LA", "LA12X")}));
    EXPECT_EQ(notes.lines(), (std::vector<std::string>{
                                 "skipped \"Edition;desc;4\": a line break (U+2028) inside a row splits it.",
                                 "skipped \"Rigging;2;K\": a line break (U+2029) inside a row splits it.",
                                 "skipped \"2;BUMP\": a line break (U+2029) inside a row splits it.",
                             }));

    // A file whose lines end in these breaks has nothing cut; many cuts give ten notes and a count.
    ImportNotes none;
    EXPECT_EQ(InventoryCSV::parseText("A;1;B;C\u2028x\u2029D;2;E;F", {}, &none).size(), 2u);
    EXPECT_TRUE(none.empty());
    std::string many = "Category\n";
    for (int i = 0; i < 30; ++i) many += "Cable;" + std::string(100, 'x') + "\u2028" + "3;A;B\n";
    ImportNotes counted;
    EXPECT_EQ(InventoryCSV::parseText(many, {}, &counted).size(), 0u);
    const auto lines = counted.lines();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "skipped \"Cable;" + std::string(54, 'x') +
                            "…\": a line break (U+2028) inside a row splits it.");
    EXPECT_EQ(lines[1], "skipped \"3;A;B\": a line break (U+2028) inside a row splits it.");
    EXPECT_EQ(lines[10], "… and 50 more like these.");

    // A right-to-left piece is isolated, so it cannot reorder the message around it.
    ImportNotes rtl;
    InventoryCSV::parseText("A;1;B;C\u2029\u05D0\u05D1;x\n", {}, &rtl);
    EXPECT_EQ(rtl.lines(), (std::vector<std::string>{"skipped \"\u2068\u05D0\u05D1;x\u2069\": a line break "
                                                     "(U+2029) inside a row splits it."}));
}

TEST(InventoryCSV, LineBreaksAndTrims) {
    const std::vector<InventoryItem> expected = {item("A", 1, "B", "C"), item("D", 2, "E", "F")};
    for (const char* sep : {"\n", "\r\n", "\r", "\v", "\f", "\u0085", "\u2028", "\u2029", "\n\n\r\n"}) {
        const std::string text =
            std::string("Category;Qty\xEF\xBB\xBF") + sep + "A;1;B;C" + sep + "D;2;E;F" + sep;
        EXPECT_EQ(rows(text), expected) << sep;
    }
    EXPECT_EQ(rows("\xEF\xBB\xBF"
                   "A;1;B;C\r\n  D;2;E;F  \xEF\xBB\xBF\r\n"),
              expected);

    // From a file: invalid UTF-8 replaced, the byte-order mark dropped.
    test::TempDir dir;
    const auto path = dir.write("inv.csv", "\xEF\xBB\xBF"
                                           "Category;Quantity;Family;Product\r\n"
                                           "Encl\xFFsure;3;K\xC3\xA9;K2\r\n");
    const std::vector<InventoryItem> fromFile{item("Encl\uFFFDsure", 3, "K\u00E9", "K2")};
    EXPECT_EQ(InventoryCSV::parse(path).vec(), fromFile);
    EXPECT_EQ(InventoryCSV::parse(path.string()).vec(), fromFile); // a path in a string is a path
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(InventoryCSV::parse(path, stop.get_token()), Cancelled);
    EXPECT_THROW(InventoryCSV::parseText("A;1;B;C", stop.get_token()), Cancelled);
    try {
        InventoryCSV::parse(dir.path() / "missing.csv");
        ADD_FAILURE();
    } catch (const std::system_error& e) {
        EXPECT_STREQ(e.what(), "Cannot read missing.csv: No such file or directory");
    }
}
