#include "import/InventoryCSV.h"

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
    return InventoryCSV::parse(text).vec();
}

} // namespace

TEST(InventoryCSV, ReadsRowsByTheFieldTable) {
    const auto r = rows("Category;Quantity;Family;Product;Description;Amp channels\n"
                        "Enclosure; 12 ;K2;K2;;\n"
                        "Rigging;2;K2;K2-BUMP\n"
                        "Amplifier;4;LA;LA12X;Amplified controller;4;extra;fields\n"
                        "Amplifier;1;LA;LA4X;;four\n"
                        "\tCable\u00A0; +5 ;\"DO\";\"A;B\";x\n"
                        "Enclosure;-2;A;B\n");
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(r[0], item("Enclosure", 12, "K2", "K2"));
    EXPECT_EQ(r[1], item("Rigging", 2, "K2", "K2-BUMP"));
    EXPECT_EQ(r[2], item("Amplifier", 4, "LA", "LA12X", "Amplified controller", 4));
    EXPECT_EQ(r[3], item("Amplifier", 1, "LA", "LA4X"));
    // No quoting: quotes stay and a ";" inside them still splits.
    EXPECT_EQ(r[4], item("Cable", 5, "\"DO\"", "\"A", "B\""));
    EXPECT_EQ(r[5], item("Enclosure", -2, "A", "B"));
}

TEST(InventoryCSV, SkipsLinesThatMakeNoRow) {
    EXPECT_TRUE(rows("").empty());
    EXPECT_TRUE(rows("a;b;c\nA;x;B;C\nA;2.0;B;C\nA;;B;C\nA;3 pcs;B;C\nA;-;B;C\nA;99999999999999999999;B;C\n")
                    .empty());
    EXPECT_EQ(rows("A;9223372036854775807;B;C").at(0).quantity, INT64_MAX);
    // A tab is not removed by the line trim but by the field trim.
    EXPECT_EQ(rows("\t\nA;1;B;C\t").size(), 1u);
}

TEST(InventoryCSV, HeaderOnlyOnTheVeryFirstLine) {
    EXPECT_TRUE(rows("CATEGORY;whatever;x;y;z").empty());
    EXPECT_EQ(rows("cAtEgOrY;1;B;C\nA;1;B;C").size(), 1u);
    // After an empty first line the header is skipped because of its quantity only.
    EXPECT_EQ(rows("\nCategory;Quantity;Family;Product\nA;1;B;C").size(), 1u);
    EXPECT_EQ(rows("\nCategory;7;Family;Product").size(), 1u);
    // The byte-order mark is trimmed before the header test.
    EXPECT_TRUE(rows("\xEF\xBB\xBF"
                     "Category;1;B;C")
                    .empty());
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
}

TEST(InventoryCSV, FileWithInvalidUtf8AndByteOrderMark) {
    test::TempDir dir;
    const auto path = dir.write("inv.csv", "\xEF\xBB\xBF"
                                           "Category;Quantity;Family;Product\r\n"
                                           "Encl\xFFsure;3;K\xC3\xA9;K2\r\n");
    const auto r = InventoryCSV::parse(path).vec();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], item("Encl\uFFFDsure", 3, "K\u00E9", "K2"));
    EXPECT_THROW(InventoryCSV::parse(dir.path() / "missing.csv"), std::system_error);
}
