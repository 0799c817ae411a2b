// The side view of one array: its outline from the loudspeaker DXF, a red dot with a
// caption at every pickup point, and a "front →" marker. Everything is drawn again from
// the side view and the labels on every paint.
#pragma once

#include "model/Drawing.h"
#include "model/Report.h"

#include <QPainterPath>
#include <QPointF>
#include <QSizeF>
#include <QStringList>
#include <QWidget>

#include <string_view>
#include <vector>

class QPainter;

namespace rig::app {

// How side-view centimetres map to the canvas: centred, at least 14 points free on each
// side of the limiting axis, v growing downward like the canvas.
struct SideViewFit {
    double scale = 1;
    double offU = 0;
    double offV = 0;

    QPointF map(double u, double v) const { return {offU + u * scale, offV + v * scale}; }
};
SideViewFit fitSideView(const SideView& side, QSizeF canvas);

// One step of the outline path, in side-view centimetres.
struct SideViewPathStep {
    enum class Kind { move, line, close };
    Kind kind = Kind::move;
    double u = 0;
    double v = 0;

    friend bool operator==(const SideViewPathStep&, const SideViewPathStep&) = default;
};
// Reads "M u vLu v…Z" (blanks around letters optional; the first pair moves even without
// an "M"). Tokens that are not finite numbers are dropped.
std::vector<SideViewPathStep> parseSideViewPath(std::string_view path);
QPainterPath sideViewOutline(const SideView& side, const SideViewFit& fit);

// Pickup points closer than 8 points on the canvas share one dot at the first one's place.
struct SideViewPointGroup {
    QPointF position;
    QStringList texts;
};
// Entry i of `points` takes text i of `labels` (empty past its end); an entry with fewer
// than two numbers is skipped without shifting the texts of the others.
std::vector<SideViewPointGroup> groupSideViewPoints(const SideView& side, const QStringList& labels,
                                                    const SideViewFit& fit);
// One text whole; two or more as the initials of their words, upper-cased, joined by "/".
QString sideViewCaption(const QStringList& texts);
// Centre of a caption `textWidth` wide: 11 points above the dot, 2 points from the edges,
// at least 8 points from the top.
QPointF sideViewCaptionCentre(QPointF dot, double textWidth, QSizeF canvas);

// The captions for the side view of `source`: the roles of the pickups the side view holds
// a point for (those with finite coordinates), so each caption stays on its own point.
QStringList sideViewLabels(const Source& source);

class SideViewShape : public QWidget {
    Q_OBJECT
public:
    explicit SideViewShape(QWidget* parent = nullptr);
    SideViewShape(SideView side, QStringList labels, QWidget* parent = nullptr);

    const SideView& side() const { return side_; }
    const QStringList& labels() const { return labels_; }
    // Repaints only when something changed.
    void setSide(const SideView& side, const QStringList& labels);

    QSize sizeHint() const override { return {260, 300}; }

    // The whole drawing into a canvas of `size` points with the colours of `palette`.
    static void paint(QPainter& painter, QSizeF size, const SideView& side, const QStringList& labels,
                      const QPalette& palette);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SideView side_;
    QStringList labels_;
};

} // namespace rig::app
