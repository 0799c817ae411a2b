#include "pages/PanflexStack.h"

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using Style = PanflexPart::Style;
constexpr Style P = Style::plain;
constexpr Style H = Style::highlighted;
constexpr Style D = Style::dimmed;

TEST(PanflexStack, Layout) {
    struct Case {
        std::optional<std::string> value;
        std::string type;
        std::vector<PanflexPart> parts;
        bool framed;
    };
    const std::vector<Case> cases = {
        {std::nullopt, "K2", {}, false},
        {"", "K2", {}, false},
        {"110", "K2", {{"110", H}}, false},
        {"55/55", "K2", {{"55/55", P}}, false},
        {" 55/55\t", "K2", {{"55/55", P}}, false},
        {"55 / 55", "K2", {{"55 / 55", H}}, false},
        {"110|", "K2", {{"110", H}}, true},
        {"110||70", "K2", {{"110", H}, {"70", H}}, true},
        {"110| |70", "K2", {{"110", H}, {"", H}, {"70", H}}, true},
        {"70|70", "K2", {{"70", H}, {"70", H}}, true},
        {"110|70", "kara2", {{"110", H}, {"70", H}}, true},
        {"110|55/55|70|90", "L2D", {{"110", H}, {"55/55", P}, {"70", D}, {"90", D}}, true},
        {"110|70|90", "l2d_something", {{"110", H}, {"70", H}, {"90", D}}, true},
        {"110|70|90", "L2", {{"110", H}, {"70", H}, {"90", H}}, true},
        {"110|70", "A15 Focus", {{"110", H}, {"70", H}}, true},
        {"110|70", "KS28", {{"110", P}, {"70", P}}, true},
        {"110", "Super K2", {{"110", P}}, false},
        {"110|70|90", "Kiva II", {{"110", P}, {"70", P}, {"90", P}}, true},
    };
    for (const Case& c : cases) {
        const PanflexLayout layout = panflexLayout(c.value, c.type);
        EXPECT_EQ(layout.parts, c.parts) << c.value.value_or("(none)") << " " << c.type;
        EXPECT_EQ(layout.framed, c.framed) << c.value.value_or("(none)") << " " << c.type;
    }
}

TEST(PanflexStack, SizeFollowsTheParts) {
    PanflexStack empty(std::nullopt, "K2");
    PanflexStack one("110", "K2");
    PanflexStack three("110|70|90", "K2");
    // Only the padding remains without parts.
    EXPECT_EQ(empty.sizeHint(), QSize(4, 6));
    EXPECT_GT(one.sizeHint().height(), empty.sizeHint().height());
    EXPECT_GT(three.sizeHint().height(), 2 * one.sizeHint().height());
    three.setValue(std::nullopt, "K2");
    EXPECT_EQ(three.sizeHint(), empty.sizeHint());
}

} // namespace
} // namespace rig::app
