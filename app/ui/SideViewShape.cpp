#include "SideViewShape.h"

#include "PageStyle.h"
#include "QtText.h"
#include "base/Number.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace rig::app {

namespace {

constexpr double margin = 14;     // free on each side of the limiting axis
constexpr double groupRadius = 8; // points closer than this share a dot
constexpr double dotDiameter = 8;
constexpr double captionRise = 11; // caption centre above the dot centre
constexpr double captionInset = 2; // caption distance from the left and right edges
constexpr double captionTop = 8;   // lowest caption centre from the top edge

bool isFinite(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c.category() == QChar::Separator_Space;
}

// First user-perceived character of a word.
QString firstCharacter(const QString& word) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, word);
    const qsizetype end = finder.toNextBoundary();
    return word.left(end > 0 ? end : 1);
}

QString initials(const QString& text) {
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && isBlank(text[i])) ++i;
        qsizetype start = i;
        while (i < text.size() && !isBlank(text[i])) ++i;
        if (i > start) out += firstCharacter(text.mid(start, i - start));
    }
    return out.toUpper();
}

} // namespace

SideViewFit fitSideView(const SideView& side, QSizeF canvas) {
    // In doubles: the bounds of an edited document may be far apart or reversed.
    const double spanU = std::max(1.0, double(side.maxU) - double(side.minU));
    const double spanV = std::max(1.0, double(side.maxV) - double(side.minV));
    SideViewFit fit;
    fit.scale = std::min((canvas.width() - 2 * margin) / spanU, (canvas.height() - 2 * margin) / spanV);
    if (!(fit.scale > 0) || !std::isfinite(fit.scale)) fit.scale = 0;
    fit.offU = (canvas.width() - spanU * fit.scale) / 2 - double(side.minU) * fit.scale;
    fit.offV = (canvas.height() - spanV * fit.scale) / 2 - double(side.minV) * fit.scale;
    return fit;
}

std::vector<SideViewPathStep> parseSideViewPath(std::string_view path) {
    std::vector<SideViewPathStep> steps;
    char command = 'M';
    std::string token;
    bool hasPending = false;
    double pending = 0;
    auto endToken = [&] {
        const std::optional<double> number = parseDecimal(token);
        token.clear();
        if (!number || !std::isfinite(*number)) return;
        if (!hasPending) {
            pending = *number;
            hasPending = true;
            return;
        }
        const SideViewPathStep::Kind kind =
            command == 'M' ? SideViewPathStep::Kind::move : SideViewPathStep::Kind::line;
        steps.push_back({kind, pending, *number});
        hasPending = false;
        if (command == 'M') command = 'L';
    };
    for (char c : path) {
        // Only the blank separates; any other character belongs to the number being read.
        if (c == 'M' || c == 'L' || c == 'Z' || c == ' ') {
            endToken();
            if (c == 'Z') {
                steps.push_back({SideViewPathStep::Kind::close, 0, 0});
            } else if (c == 'M' || c == 'L') {
                command = c;
            }
        } else {
            token += c;
        }
    }
    endToken();
    return steps;
}

QPainterPath sideViewOutline(const SideView& side, const SideViewFit& fit) {
    QPainterPath outline;
    bool hasPoint = false;
    for (const SideViewPathStep& step : parseSideViewPath(side.path)) {
        if (step.kind == SideViewPathStep::Kind::close) {
            if (hasPoint) outline.closeSubpath();
            continue;
        }
        const QPointF p = fit.map(step.u, step.v);
        if (!isFinite(p)) continue;
        // A line with nothing before it would start at the canvas corner: move there instead.
        if (step.kind == SideViewPathStep::Kind::move || !hasPoint) {
            outline.moveTo(p);
        } else {
            outline.lineTo(p);
        }
        hasPoint = true;
    }
    return outline;
}

std::vector<SideViewPointGroup> groupSideViewPoints(const SideView& side, const QStringList& labels,
                                                    const SideViewFit& fit) {
    std::vector<SideViewPointGroup> groups;
    for (std::size_t i = 0; i < side.points.size(); ++i) {
        const std::vector<std::int64_t>& entry = side.points[i];
        if (entry.size() < 2) continue;
        const QPointF p = fit.map(double(entry[0]), double(entry[1]));
        if (!isFinite(p)) continue;
        const QString text = i < std::size_t(labels.size()) ? labels[qsizetype(i)] : QString();
        auto near = std::find_if(groups.begin(), groups.end(), [&](const SideViewPointGroup& g) {
            return std::hypot(g.position.x() - p.x(), g.position.y() - p.y()) < groupRadius;
        });
        if (near != groups.end()) {
            near->texts.push_back(text);
        } else {
            groups.push_back({p, QStringList{text}});
        }
    }
    return groups;
}

QString sideViewCaption(const QStringList& texts) {
    QStringList shown;
    for (const QString& t : texts) {
        if (!t.isEmpty()) shown.push_back(t);
    }
    if (shown.size() <= 1) return shown.isEmpty() ? QString() : shown.front();
    QStringList parts;
    for (const QString& t : shown) parts.push_back(initials(t));
    return parts.join(u'/');
}

QPointF sideViewCaptionCentre(QPointF dot, double textWidth, QSizeF canvas) {
    const double x = std::min(canvas.width() - textWidth / 2 - captionInset,
                              std::max(dot.x(), textWidth / 2 + captionInset));
    const double y = std::max(captionTop, dot.y() - captionRise);
    return {x, y};
}

QStringList sideViewLabels(const Source& source) {
    QStringList labels;
    for (const Pickup& p : source.pickups) {
        // The import projects only pickups it can place; a coordinate that is not finite
        // cannot be placed.
        if (std::isfinite(p.position.x) && std::isfinite(p.position.y) && std::isfinite(p.position.z)) {
            labels.push_back(shownName(p.role));
        }
    }
    return labels;
}

SideViewShape::SideViewShape(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedSize(sizeHint());
}

SideViewShape::SideViewShape(SideView side, QStringList labels, QWidget* parent) : SideViewShape(parent) {
    side_ = std::move(side);
    labels_ = std::move(labels);
}

void SideViewShape::setSide(const SideView& side, const QStringList& labels) {
    if (side == side_ && labels == labels_) return;
    side_ = side;
    labels_ = labels;
    update();
}

void SideViewShape::paint(QPainter& painter, QSizeF size, const SideView& side, const QStringList& labels,
                          const QPalette& palette) {
    using style::Tone;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const SideViewFit fit = fitSideView(side, size);

    QPainterPath outline = sideViewOutline(side, fit);
    outline.setFillRule(Qt::WindingFill);
    const QColor primary = style::color(Tone::primary, palette);
    painter.fillPath(outline, style::withAlpha(primary, 0.06));
    painter.strokePath(outline, QPen(style::withAlpha(primary, 0.7), 0.8));

    const QColor red = style::color(Tone::red, palette);
    const QFont captionFont = style::bold(style::caption2Font());
    const QFontMetricsF metrics(captionFont);
    painter.setFont(captionFont);
    for (const SideViewPointGroup& group : groupSideViewPoints(side, labels, fit)) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(red);
        painter.drawEllipse(QRectF(group.position.x() - dotDiameter / 2, group.position.y() - dotDiameter / 2,
                                   dotDiameter, dotDiameter));
        const QString caption = sideViewCaption(group.texts);
        if (caption.isEmpty()) continue;
        const double width = metrics.horizontalAdvance(caption);
        const QPointF centre = sideViewCaptionCentre(group.position, width, size);
        painter.setPen(red);
        painter.drawText(
            QRectF(centre.x() - width / 2, centre.y() - metrics.height() / 2, width, metrics.height()),
            Qt::AlignCenter | Qt::TextDontClip, caption);
    }

    const QString front = QStringLiteral("front \u2192");
    const QFont frontFont = style::caption2Font();
    const QFontMetricsF frontMetrics(frontFont);
    const double frontWidth = frontMetrics.horizontalAdvance(front);
    painter.setFont(frontFont);
    painter.setPen(style::color(Tone::secondary, palette));
    painter.drawText(QRectF(size.width() - 32 - frontWidth / 2,
                            size.height() - 10 - frontMetrics.height() / 2, frontWidth,
                            frontMetrics.height()),
                     Qt::AlignCenter | Qt::TextDontClip, front);
    painter.restore();
}

void SideViewShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, QSizeF(size()), side_, labels_, palette());
}

} // namespace rig::app
