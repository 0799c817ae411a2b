#include "SideViewShape.h"

#include "support/ShowProjects.h"
#include "support/ShownTexts.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace rig::app {
namespace {

using Kind = SideViewPathStep::Kind;
const QSizeF canvas(260, 300);

SideView sideOf(std::int64_t minU, std::int64_t maxU, std::int64_t minV, std::int64_t maxV,
                std::vector<std::vector<std::int64_t>> points = {}) {
    SideView s;
    s.minU = minU;
    s.maxU = maxU;
    s.minV = minV;
    s.maxV = maxV;
    s.points = List<std::vector<std::int64_t>>(std::move(points));
    return s;
}

TEST(SideViewShape, BadPathsBoundsAndPointsAreSkippedOrClamped) {
    const struct {
        const char* path;
        std::vector<SideViewPathStep> steps;
    } cases[] = {
        {"M0 0L5 5Z2 2", {{Kind::move, 0, 0}, {Kind::line, 5, 5}, {Kind::close, 0, 0}, {Kind::line, 2, 2}}},
        {"M0 0Lnan 5 6Linf 7 -inf 8Z",
         {{Kind::move, 0, 0}, {Kind::line, 5, 6}, {Kind::line, 7, 8}, {Kind::close, 0, 0}}},
        {"M1,5 2 3.5e1 4", {{Kind::move, 2, 35}}},
        {"M0x 0 1 1e999 2", {{Kind::move, 0, 1}}},
        {"M0\t0 1 1\n2 3 4", {{Kind::move, 1, 3}}},
    };
    for (const auto& c : cases) EXPECT_EQ(parseSideViewPath(c.path), c.steps) << c.path;

    // Bounds flat, far apart or reversed never give a scale that flips or overflows.
    const std::int64_t big = std::numeric_limits<std::int64_t>::max();
    for (const SideView& s : {sideOf(5, 5, 7, 7), sideOf(-big, big, 0, 1), sideOf(10, -10, 10, -10)}) {
        const SideViewFit fit = fitSideView(s, canvas);
        EXPECT_TRUE(std::isfinite(fit.scale) && fit.scale > 0);
    }

    // Close points share a dot; short entries are skipped without shifting the texts.
    const SideView side = sideOf(0, 1000, 0, 1000, {{0, 0}, {5}, {20, 0}, {}, {1000, 1000, 77}, {500, 500}});
    QStringList captions;
    for (const auto& g : groupSideViewPoints(
             side, {"  front   left ", "Short", "Front Right", "Empty", "Rear"}, fitSideView(side, canvas))) {
        captions.push_back(sideViewCaption(g.texts));
    }
    EXPECT_EQ(captions, (QStringList{"FL/FR", "Rear", ""}));
}

TEST(SideViewShape, RealisticSourcePaintsInsideTheCanvasWithDotsOnThePoints) {
    const Project project = testing::arenaShow();
    const int margin = 40; // anything drawn outside the canvas lands in the margin
    int drawn = 0;
    for (const Source& source : project.report.sources) {
        const DXFInfo* info = project.dxf.get(source.id());
        if (!info || !info->side) continue;
        ++drawn;
        const SideView& side = *info->side;
        QImage image(260 + 2 * margin, 300 + 2 * margin, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.translate(margin, margin);
            SideViewShape::paint(painter, canvas, side, sideViewLabels(source), QPalette());
        }
        int painted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(image.pixel(x, y)) == 0) continue;
                ++painted;
                EXPECT_TRUE(x >= margin && x < margin + 260 && y >= margin && y < margin + 300)
                    << source.name << " paints at " << x << "," << y;
            }
        }
        EXPECT_GT(painted, 1000) << source.name;
        const SideViewFit fit = fitSideView(side, canvas);
        for (const auto& entry : side.points) {
            const QPointF p = fit.map(double(entry[0]), double(entry[1])) + QPointF(margin, margin);
            const QColor c = image.pixelColor(int(p.x()), int(p.y()));
            EXPECT_TRUE(c.red() > 150 && c.green() < 120) << source.name;
        }
    }
    EXPECT_EQ(drawn, 4);
}

// What the canvas writes: the captions over their dots and the "front →" marker, read from
// what it paints.
TEST(SideViewShape, CaptionsAndTheFrontMarkerAsDrawn) {
    using testing::PaintedText;
    const auto drawn = [](const SideView& side, const QStringList& labels) {
        SideViewShape shape(side, labels);
        return testing::paintedTexts(&shape);
    };
    const auto texts = [](const std::vector<PaintedText>& painted) {
        QStringList out;
        for (const PaintedText& t : painted) out << t.text;
        return out;
    };
    // 0..1000 cm on both axes: 0.232 points per centimetre, the drawing at (14, 34).
    struct Case {
        const char* what;
        std::vector<std::vector<std::int64_t>> points;
        QStringList labels;
        QStringList captions;
    };
    const std::vector<Case> cases = {
        {"close points share a dot",
         {{0, 0}, {20, 0}, {1000, 1000}},
         {"Front Left", "Front Right", "Rear"},
         {"FL/FR", "Rear"}},
        {"initials of every word, blanks collapsed, upper-cased",
         {{0, 0}, {10, 10}},
         {"  front   left ", "Rear"},
         {"FL/R"}},
        {"a single text is shown whole; empty texts give no caption",
         {{0, 0}, {10, 10}, {500, 500}},
         {"", "Pullback"},
         {"Pullback"}},
        {"points past the end of the labels", {{0, 0}, {1000, 0}}, {"Front"}, {"Front"}},
        {"8 points apart are two dots, a little less one",
         {{0, 0}, {35, 0}, {0, 500}, {34, 500}},
         {"A", "B", "C", "D"},
         {"A", "B", "C/D"}},
        {"no points, no path", {}, {}, {}},
    };
    for (const Case& c : cases) {
        const auto painted = drawn(sideOf(0, 1000, 0, 1000, c.points), c.labels);
        EXPECT_EQ(texts(painted), c.captions + QStringList{"front \u2192"}) << c.what;
        // The marker near the bottom right corner, whatever the drawing holds.
        ASSERT_FALSE(painted.empty());
        EXPECT_NEAR(painted.back().box.center().x(), 260 - 32, 1) << c.what;
        EXPECT_NEAR(painted.back().box.center().y(), 300 - 10, 1) << c.what;
    }

    // A caption stands 11 points above its dot, keeps 2 points from the sides and 8 from the
    // top.
    const struct {
        const char* what;
        SideView side;
        QString label;
        std::function<void(const QRectF&)> check;
    } placements[] = {
        {"above the dot", sideOf(0, 1000, 0, 1000, {{500, 500}}), "Rear",
         [](const QRectF& box) {
             EXPECT_NEAR(box.center().x(), 130, 1);
             EXPECT_NEAR(box.center().y(), 150 - 11, 1);
         }},
        {"pushed in from the left", sideOf(0, 1000, 0, 1000, {{0, 500}}), "Front Left Pullback",
         [](const QRectF& box) { EXPECT_NEAR(box.left(), 2, 1); }},
        {"pushed in from the right", sideOf(0, 1000, 0, 1000, {{1000, 500}}), "Front Left Pullback",
         [](const QRectF& box) { EXPECT_NEAR(box.right(), 258, 1); }},
        {"near the top", sideOf(0, 10, 0, 1000, {{5, 0}}), "Front",
         [](const QRectF& box) { EXPECT_NEAR(box.center().y(), 8, 1); }},
    };
    for (const auto& p : placements) {
        const auto painted = drawn(p.side, {p.label});
        ASSERT_EQ(texts(painted), (QStringList{p.label, "front \u2192"})) << p.what;
        SCOPED_TRACE(p.what);
        p.check(painted.front().box);
    }
}

} // namespace
} // namespace rig::app
