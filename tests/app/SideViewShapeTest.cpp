#include "pages/SideViewShape.h"

#include "support/ShowProjects.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace rig::app {
namespace {

using Kind = SideViewPathStep::Kind;
const QSizeF canvas(260, 300);

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
    const struct {
        const char* path;
        std::vector<SideViewPathStep> steps;
    } cases[] = {
        // Numbers without a letter first: the first pair moves, later pairs draw lines.
        {"1 2 3 4 5 6", {{Kind::move, 1, 2}, {Kind::line, 3, 4}, {Kind::line, 5, 6}}},
        // After "Z" the command stays a line.
        {"M0 0L5 5Z2 2", {{Kind::move, 0, 0}, {Kind::line, 5, 5}, {Kind::close, 0, 0}, {Kind::line, 2, 2}}},
        // Tokens that are not finite numbers are dropped; the next numbers pair up.
        {"M0 0Lnan 5 6Linf 7 -inf 8Z",
         {{Kind::move, 0, 0}, {Kind::line, 5, 6}, {Kind::line, 7, 8}, {Kind::close, 0, 0}}},
        {"M1,5 2 3.5e1 4", {{Kind::move, 2, 35}}}, // a dangling number is no point
        {"M0x 0 1 1e999 2", {{Kind::move, 0, 1}}},
        // Only the blank separates numbers: a tab or line break makes the token unreadable.
        {"M0\t0 1 1\n2 3 4", {{Kind::move, 1, 3}}},
    };
    for (const auto& c : cases) EXPECT_EQ(parseSideViewPath(c.path), c.steps) << c.path;
}

TEST(SideViewShape, FitAndCaptionPlacement) {
    const struct {
        const char* what;
        SideView side;
        QPointF topLeft;     // canvas point of (minU, minV)
        QPointF bottomRight; // canvas point of (maxU, maxV)
    } fits[] = {
        {"flat", sideOf("", 0, 100, 20, 20), {14, 150 - 1.16}, {246, 150 - 1.16}},
        {"point", sideOf("", 5, 5, 7, 7), {14, 34}, {14, 34}},
    };
    for (const auto& c : fits) {
        const SideViewFit fit = fitSideView(c.side, canvas);
        const QPointF a = fit.map(double(c.side.minU), double(c.side.minV));
        const QPointF b = fit.map(double(c.side.maxU), double(c.side.maxV));
        EXPECT_NEAR((a - c.topLeft).manhattanLength(), 0, 1e-9) << c.what;
        EXPECT_NEAR((b - c.bottomRight).manhattanLength(), 0, 1e-9) << c.what;
    }
    // Bounds far apart or reversed never give a scale that flips or overflows.
    const std::int64_t big = std::numeric_limits<std::int64_t>::max();
    for (const SideView& s : {sideOf("", -big, big, 0, 1), sideOf("", 10, -10, 10, -10)}) {
        const SideViewFit fit = fitSideView(s, canvas);
        EXPECT_TRUE(std::isfinite(fit.scale) && fit.scale > 0);
    }

    const struct {
        QPointF dot;
        double width;
        QPointF centre;
    } captions[] = {
        {{5, 150}, 40, {22, 139}},     // 2 free on the left
        {{130, 10}, 40, {130, 8}},     // near the top: 8 below the edge
        {{130, 150}, 300, {108, 139}}, // wider than the canvas
    };
    for (const auto& c : captions) EXPECT_EQ(sideViewCaptionCentre(c.dot, c.width, canvas), c.centre);
}

TEST(SideViewShape, PointsAndCaptions) {
    const struct {
        const char* what;
        std::vector<std::vector<std::int64_t>> points;
        QStringList labels;
        QStringList captions;
    } cases[] = {
        {"close points share a dot",
         {{0, 0}, {20, 0}, {1000, 1000}},
         {"  front   left ", "Front Right", "Rear"},
         {"FL/FR", "Rear"}},
        {"empty texts are not shortened away",
         {{0, 0}, {10, 10}, {500, 500}},
         {"", "Pullback"},
         {"Pullback", ""}},
        {"short entries skipped without shifting the texts",
         {{0, 0}, {5}, {}, {1000, 1000, 77}},
         {"Front", "Short", "Empty", "Rear"},
         {"Front", "Rear"}},
    };
    for (const auto& c : cases) {
        const SideView side = sideOf("", 0, 1000, 0, 1000, c.points);
        QStringList captions;
        for (const auto& g : groupSideViewPoints(side, c.labels, fitSideView(side, canvas))) {
            captions.push_back(sideViewCaption(g.texts));
        }
        EXPECT_EQ(captions, c.captions) << c.what;
    }
    // The 8-point radius is strict: 8 / 0.232 cm apart are two dots, a little less one.
    const SideView side = sideOf("", 0, 1000, 0, 1000, {{0, 0}, {35, 0}, {0, 500}, {34, 500}});
    EXPECT_EQ(groupSideViewPoints(side, {}, fitSideView(side, canvas)).size(), 3u);
}

// Paints at (margin, margin) into a larger transparent image, so that anything drawn outside
// the canvas shows up.
QImage render(const SideView& side, const QStringList& labels, int margin) {
    QImage image(260 + 2 * margin, 300 + 2 * margin, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(margin, margin);
    SideViewShape::paint(painter, canvas, side, labels, QPalette());
    return image;
}

TEST(SideViewShape, RealisticSourcePaintsInsideItsBounds) {
    const Project project = testing::arenaShow();
    const int margin = 40;
    int drawn = 0;
    for (const Source& source : project.report.sources) {
        const DXFInfo* info = project.dxf.get(source.id());
        if (!info || !info->side) continue;
        ++drawn;
        const SideView& side = *info->side;
        const QStringList labels = sideViewLabels(source);
        ASSERT_EQ(labels.size(), qsizetype(side.points.size())) << source.name;

        // Everything stays on the canvas; the outline alone within the mapped bounds (the
        // "front" marker aside); the dots sit on the points.
        const SideViewFit fit = fitSideView(side, canvas);
        const QRectF bounds = QRectF(fit.map(double(side.minU), double(side.minV)),
                                     fit.map(double(side.maxU), double(side.maxV)))
                                  .translated(margin, margin)
                                  .adjusted(-1.5, -1.5, 1.5, 1.5);
        const QRectF marker(margin + 260 - 70, margin + 300 - 22, 70, 22);
        SideView outlineOnly = side;
        outlineOnly.points = {};
        const QImage all = render(side, labels, margin);
        const QImage outline = render(outlineOnly, {}, margin);
        int painted = 0;
        int outlinePixels = 0;
        for (int y = 0; y < all.height(); ++y) {
            for (int x = 0; x < all.width(); ++x) {
                if (qAlpha(all.pixel(x, y)) != 0) {
                    ++painted;
                    EXPECT_TRUE(x >= margin && x < margin + 260 && y >= margin && y < margin + 300)
                        << source.name << " paints at " << x << "," << y;
                }
                if (qAlpha(outline.pixel(x, y)) == 0 || marker.contains(x, y)) continue;
                ++outlinePixels;
                EXPECT_TRUE(bounds.contains(x + 0.5, y + 0.5))
                    << source.name << " outline at " << x << "," << y;
            }
        }
        EXPECT_GT(painted, 1000) << source.name;
        EXPECT_GT(outlinePixels, 500) << source.name;
        for (const auto& entry : side.points) {
            const QPointF p = fit.map(double(entry[0]), double(entry[1])) + QPointF(margin, margin);
            const QColor c = all.pixelColor(int(p.x()), int(p.y()));
            EXPECT_TRUE(c.red() > 150 && c.green() < 120) << source.name;
        }
    }
    EXPECT_EQ(drawn, 4);
}

} // namespace
} // namespace rig::app
