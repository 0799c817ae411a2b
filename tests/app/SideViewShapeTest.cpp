#include "pages/SideViewShape.h"

#include "support/ProjectFixtures.h"
#include "support/ShowProjects.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace rig::app {
namespace {

using Kind = SideViewPathStep::Kind;

SideView sideOf(std::string path, std::int64_t minU, std::int64_t maxU, std::int64_t minV, std::int64_t maxV,
                std::vector<std::vector<std::int64_t>> points = {}) {
    SideView s;
    s.path = std::move(path);
    s.minU = minU;
    s.maxU = maxU;
    s.minV = minV;
    s.maxV = maxV;
    s.points = List<std::vector<std::int64_t>>(std::move(points));
    return s;
}

TEST(SideViewShape, PathReading) {
    struct Case {
        const char* path;
        std::vector<SideViewPathStep> steps;
    };
    const std::vector<Case> cases = {
        {"M-120 -850L40 -850L40 -300Z",
         {{Kind::move, -120, -850}, {Kind::line, 40, -850}, {Kind::line, 40, -300}, {Kind::close, 0, 0}}},
        {"", {}},
        // Numbers without a letter first: the first pair moves, later pairs draw lines.
        {"1 2 3 4 5 6", {{Kind::move, 1, 2}, {Kind::line, 3, 4}, {Kind::line, 5, 6}}},
        {"M 0 0 L 10 0 Z M 20 0 L 30 0 Z",
         {{Kind::move, 0, 0},
          {Kind::line, 10, 0},
          {Kind::close, 0, 0},
          {Kind::move, 20, 0},
          {Kind::line, 30, 0},
          {Kind::close, 0, 0}}},
        // A pair directly before "Z" is a line first, then the close.
        {"M0 0L5 5Z", {{Kind::move, 0, 0}, {Kind::line, 5, 5}, {Kind::close, 0, 0}}},
        // After "Z" the command stays a line.
        {"M0 0L1 1Z2 2", {{Kind::move, 0, 0}, {Kind::line, 1, 1}, {Kind::close, 0, 0}, {Kind::line, 2, 2}}},
        // Tokens that are not finite numbers are dropped; the next numbers pair up.
        {"M0 0Lnan 5 6Linf 7 -inf 8Z",
         {{Kind::move, 0, 0}, {Kind::line, 5, 6}, {Kind::line, 7, 8}, {Kind::close, 0, 0}}},
        {"M1,5 2 3.5e1 4", {{Kind::move, 2, 35}}},
        {"M0x 0 1 1e999 2", {{Kind::move, 0, 1}}},
        {"ZZ", {{Kind::close, 0, 0}, {Kind::close, 0, 0}}},
        // A dangling number at the end is no point.
        {"M1 2 3", {{Kind::move, 1, 2}}},
        // Only the blank separates numbers: a tab or line break makes the token unreadable.
        {"M0\t0 1 1\n2 3 4", {{Kind::move, 1, 3}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseSideViewPath(c.path), c.steps) << c.path;
    }
}

TEST(SideViewShape, Fit) {
    struct Case {
        const char* what;
        SideView side;
        QPointF topLeft;     // canvas point of (minU, minV)
        QPointF bottomRight; // canvas point of (maxU, maxV)
    };
    const std::vector<Case> cases = {
        // Tall: limited by the height, 14 free above and below, centred across.
        {"tall", sideOf("", 0, 100, -400, 0), {130 - 34, 14}, {130 + 34, 286}},
        // Wide: limited by the width.
        {"wide", sideOf("", -50, 150, 0, 100), {14, 150 - 58}, {246, 150 + 58}},
        // Equal bounds on an axis: a span of 1, centred.
        {"flat", sideOf("", 0, 100, 20, 20), {14, 150 - 1.16}, {246, 150 - 1.16}},
        {"point", sideOf("", 5, 5, 7, 7), {14, 34}, {14, 34}},
    };
    for (const Case& c : cases) {
        const SideViewFit fit = fitSideView(c.side, QSizeF(260, 300));
        const QPointF a = fit.map(double(c.side.minU), double(c.side.minV));
        const QPointF b = fit.map(double(c.side.maxU), double(c.side.maxV));
        EXPECT_NEAR(a.x(), c.topLeft.x(), 1e-9) << c.what;
        EXPECT_NEAR(a.y(), c.topLeft.y(), 1e-9) << c.what;
        EXPECT_NEAR(b.x(), c.bottomRight.x(), 1e-9) << c.what;
        EXPECT_NEAR(b.y(), c.bottomRight.y(), 1e-9) << c.what;
    }
    // Bounds far apart or reversed never give a scale that flips or overflows.
    const std::int64_t big = std::numeric_limits<std::int64_t>::max();
    for (const SideView& s : {sideOf("", -big, big, 0, 1), sideOf("", 10, -10, 10, -10)}) {
        const SideViewFit fit = fitSideView(s, QSizeF(260, 300));
        EXPECT_TRUE(std::isfinite(fit.scale) && fit.scale > 0);
    }
}

TEST(SideViewShape, OutlineSkipsWhatCannotBeDrawn) {
    // A line with no point before it starts the subpath; a close with nothing is ignored.
    const SideView side = sideOf("ZL0 0L100 0L100 100Z", 0, 100, 0, 100);
    const QPainterPath path = sideViewOutline(side, fitSideView(side, QSizeF(260, 300)));
    ASSERT_GT(path.elementCount(), 0);
    EXPECT_TRUE(path.elementAt(0).isMoveTo());
    EXPECT_NEAR(path.elementAt(0).x, 14, 1e-9);
    EXPECT_TRUE(sideViewOutline(sideOf("", 0, 1, 0, 1), SideViewFit{}).isEmpty());
}

TEST(SideViewShape, PointsAndCaptions) {
    struct Case {
        const char* what;
        std::vector<std::vector<std::int64_t>> points;
        QStringList labels;
        std::vector<QStringList> groups;
        QStringList captions;
    };
    // 0..1000 on both axes into 260 x 300: 0.232 points per centimetre.
    const std::vector<Case> cases = {
        {"close points share a dot",
         {{0, 0}, {20, 0}, {1000, 1000}},
         {"Front Left", "Front Right", "Rear"},
         {{"Front Left", "Front Right"}, {"Rear"}},
         {"FL/FR", "Rear"}},
        {"initials of every word, blanks collapsed, upper-cased",
         {{0, 0}, {10, 10}},
         {"  front   left ", "Rear"},
         {{"  front   left ", "Rear"}},
         {"FL/R"}},
        {"empty texts give no caption and are not shortened away",
         {{0, 0}, {10, 10}, {500, 500}},
         {"", "Pullback"},
         {{"", "Pullback"}, {""}},
         {"Pullback", ""}},
        {"points past the end of the labels",
         {{0, 0}, {1000, 0}},
         {"Front"},
         {{"Front"}, {""}},
         {"Front", ""}},
        {"short entries are skipped; the others keep their own texts",
         {{0, 0}, {5}, {}, {1000, 1000, 77}},
         {"Front", "Short", "Empty", "Rear"},
         {{"Front"}, {"Rear"}},
         {"Front", "Rear"}},
        {"equal points share a dot", {{0, 0}, {0, 0}}, {"A", "B"}, {{"A", "B"}}, {"A/B"}},
    };
    for (const Case& c : cases) {
        const SideView side = sideOf("", 0, 1000, 0, 1000, c.points);
        const auto groups = groupSideViewPoints(side, c.labels, fitSideView(side, QSizeF(260, 300)));
        std::vector<QStringList> texts;
        QStringList captions;
        for (const auto& g : groups) {
            texts.push_back(g.texts);
            captions.push_back(sideViewCaption(g.texts));
        }
        EXPECT_EQ(texts, c.groups) << c.what;
        EXPECT_EQ(captions, c.captions) << c.what;
    }
    // The 8-point radius is strict: 8 / 0.232 cm apart are two dots, a little less one.
    const SideView side = sideOf("", 0, 1000, 0, 1000, {{0, 0}, {35, 0}, {0, 500}, {34, 500}});
    EXPECT_EQ(groupSideViewPoints(side, {}, fitSideView(side, QSizeF(260, 300))).size(), 3u);
}

TEST(SideViewShape, CaptionPlacement) {
    struct Case {
        QPointF dot;
        double width;
        QPointF centre;
    };
    const QSizeF canvas(260, 300);
    const std::vector<Case> cases = {
        {{130, 150}, 40, {130, 139}},  // 11 above the dot
        {{5, 150}, 40, {22, 139}},     // pushed right: 2 free on the left
        {{255, 150}, 40, {238, 139}},  // pushed left: 2 free on the right
        {{130, 10}, 40, {130, 8}},     // near the top: centred 8 below the edge
        {{130, 150}, 300, {108, 139}}, // wider than the canvas: 2 free on the right
    };
    for (const Case& c : cases) {
        const QPointF p = sideViewCaptionCentre(c.dot, c.width, canvas);
        EXPECT_DOUBLE_EQ(p.x(), c.centre.x());
        EXPECT_DOUBLE_EQ(p.y(), c.centre.y());
    }
}

TEST(SideViewShape, LabelsPairWithThePointsTheImportMakes) {
    // The import gives points only to pickups it can place, in order; a pickup without
    // coordinates first must not shift the captions of the others.
    Source s = fixtures::testSource("Main L", {"Main"},
                                    {fixtures::testPickup("Pullback", XYZ(fixtures::notANumber, 0, 9)),
                                     fixtures::testPickup("Front", XYZ(1, 0.3, 9)),
                                     fixtures::testPickup("Middle", XYZ(1, 0, fixtures::notANumber)),
                                     fixtures::testPickup("Rear", XYZ(1, -0.3, 9))});
    EXPECT_EQ(sideViewLabels(s), (QStringList{"Front", "Rear"}));
}

// Paints at (margin, margin) into a larger transparent image, so that anything drawn outside
// the canvas shows up.
QImage render(const SideView& side, const QStringList& labels, QSizeF canvas, int margin) {
    QImage image(int(canvas.width()) + 2 * margin, int(canvas.height()) + 2 * margin,
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(margin, margin);
    SideViewShape::paint(painter, canvas, side, labels, QPalette());
    return image;
}

TEST(SideViewShape, RealisticSourcePaintsInsideItsBounds) {
    const Project project = testing::arenaShow();
    int drawn = 0;
    for (const Source& source : project.report.sources) {
        const DXFInfo* info = project.dxf.get(source.id());
        if (!info || !info->side) continue;
        ++drawn;
        const SideView& side = *info->side;
        const QSizeF canvas(260, 300);
        const int margin = 40;
        const QStringList labels = sideViewLabels(source);
        ASSERT_EQ(labels.size(), qsizetype(side.points.size())) << source.name;

        // Everything, captions and marker included, stays on the canvas.
        const QImage all = render(side, labels, canvas, margin);
        int painted = 0;
        for (int y = 0; y < all.height(); ++y) {
            for (int x = 0; x < all.width(); ++x) {
                if (qAlpha(all.pixel(x, y)) == 0) continue;
                ++painted;
                EXPECT_TRUE(x >= margin && x < margin + 260 && y >= margin && y < margin + 300)
                    << source.name << " paints at " << x << "," << y;
            }
        }
        EXPECT_GT(painted, 1000) << source.name;

        // The outline alone stays within the mapped bounds; the dots sit on the points.
        SideView outlineOnly = side;
        outlineOnly.points = {};
        const QImage outline = render(outlineOnly, {}, canvas, margin);
        const SideViewFit fit = fitSideView(side, canvas);
        const QRectF bounds = QRectF(fit.map(double(side.minU), double(side.minV)),
                                     fit.map(double(side.maxU), double(side.maxV)))
                                  .translated(margin, margin)
                                  .adjusted(-1.5, -1.5, 1.5, 1.5);
        const QRectF marker(margin + 260 - 70, margin + 300 - 22, 70, 22);
        int outlinePixels = 0;
        for (int y = 0; y < outline.height(); ++y) {
            for (int x = 0; x < outline.width(); ++x) {
                if (qAlpha(outline.pixel(x, y)) == 0 || marker.contains(x, y)) continue;
                ++outlinePixels;
                EXPECT_TRUE(bounds.contains(x + 0.5, y + 0.5))
                    << source.name << " outline at " << x << "," << y;
            }
        }
        EXPECT_GT(outlinePixels, 500) << source.name;
        for (const auto& entry : side.points) {
            const QPointF p = fit.map(double(entry[0]), double(entry[1])) + QPointF(margin, margin);
            const QColor c = all.pixelColor(int(p.x()), int(p.y()));
            EXPECT_GT(c.red(), 150) << source.name;
            EXPECT_LT(c.green(), 120) << source.name;
        }
    }
    EXPECT_EQ(drawn, 4);
}

} // namespace
} // namespace rig::app
