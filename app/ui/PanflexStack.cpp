#include "PanflexStack.h"

#include "FormLayout.h"
#include "PageStyle.h"
#include "QtText.h"
#include "base/Regex.h"
#include "base/Text.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <utility>

namespace rig::app {

namespace {

constexpr double itemSpacing = 1;
constexpr double padV = 3;
constexpr double padH = 2;
constexpr double labelPadH = 5;
constexpr double labelRadius = 3;
constexpr double frameRadius = 4;

QFont partFont(PanflexPart::Style style) {
    QFont f = style::monospacedCaptionFont();
    if (style == PanflexPart::Style::highlighted) f.setWeight(QFont::ExtraBold); // heavy
    return f;
}

// Settings take a few characters ("110", "55/55"); a longer part is cut short.
constexpr int maxPartChars = 12;

struct PartBox {
    QFont font;
    QSizeF size;
    QString shown;
};

std::vector<PartBox> measure(const PanflexLayout& layout) {
    std::vector<PartBox> boxes;
    for (const PanflexPart& part : layout.parts) {
        QFont f = partFont(part.style);
        const QFontMetrics m(f);
        const int most = maxPartChars * m.averageCharWidth();
        const QString shown = m.elidedText(part.text, Qt::ElideRight, most);
        boxes.push_back({f,
                         QSizeF(std::min<qreal>(std::ceil(QFontMetricsF(f).horizontalAdvance(shown)), most) +
                                    2 * labelPadH,
                                std::ceil(m.height())),
                         shown});
    }
    return boxes;
}

} // namespace

bool isPanflexSeries(std::string_view type) {
    return firstMatch("(?i)^(L2|KARA|K1|K2|K3|A10|A15)", type).has_value();
}

PanflexLayout panflexLayout(const std::optional<std::string>& value, std::string_view type) {
    PanflexLayout layout;
    const std::string text = value.value_or("");
    layout.framed = text.find('|') != std::string::npos;
    const bool series = isPanflexSeries(type);
    const bool l2d = toUpper(type).starts_with("L2D");
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('|', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) {
            const std::string part = trimWhite(std::string_view(text).substr(start, end - start));
            const std::size_t i = layout.parts.size();
            PanflexPart::Style style = PanflexPart::Style::plain;
            if (l2d && i >= 2) {
                style = PanflexPart::Style::dimmed;
            } else if (series && part != "55/55") {
                style = PanflexPart::Style::highlighted;
            }
            layout.parts.push_back({shownName(part), style});
        }
        start = end + 1;
    }
    return layout;
}

PanflexStack::PanflexStack(std::optional<std::string> value, std::string type, QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setValue(std::move(value), std::move(type));
}

void PanflexStack::setValue(std::optional<std::string> value, std::string type) {
    PanflexLayout next = panflexLayout(value, type);
    if (next == layout_) return;
    layout_ = std::move(next);
    const std::vector<PartBox> boxes = measure(layout_);
    bool cut = false;
    for (std::size_t i = 0; i < boxes.size(); ++i) cut = cut || boxes[i].shown != layout_.parts[i].text;
    // The whole setting where a part is cut short.
    setToolTip(cut ? form::plainToolTip(shownName(value.value_or(std::string()))) : QString());
    updateGeometry();
    update();
}

QSize PanflexStack::sizeHint() const {
    double width = 0;
    double height = 0;
    const std::vector<PartBox> boxes = measure(layout_);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        width = std::max(width, boxes[i].size.width());
        height += boxes[i].size.height() + (i > 0 ? itemSpacing : 0);
    }
    return {int(std::ceil(width + 2 * padH)), int(std::ceil(height + 2 * padV))};
}

void PanflexStack::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ApplicationFontChange)
        updateGeometry();
}

void PanflexStack::paintEvent(QPaintEvent*) {
    using style::Tone;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPalette& pal = palette();
    const std::vector<PartBox> boxes = measure(layout_);
    double y = padV;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const PanflexPart& part = layout_.parts[i];
        const QRectF box(padH, y, boxes[i].size.width(), boxes[i].size.height());
        QColor text = style::color(Tone::secondary, pal);
        if (part.style == PanflexPart::Style::highlighted) {
            QPainterPath background;
            background.addRoundedRect(box, labelRadius, labelRadius);
            painter.fillPath(background, style::withAlpha(style::color(Tone::green, pal), 0.3));
            text = style::color(Tone::primary, pal);
        } else if (part.style == PanflexPart::Style::dimmed) {
            text = style::withAlpha(text, 0.5);
        }
        painter.setFont(boxes[i].font);
        painter.setPen(text);
        painter.drawText(box, Qt::AlignCenter, boxes[i].shown);
        y += boxes[i].size.height() + itemSpacing;
    }
    if (layout_.framed) {
        painter.setPen(QPen(style::withAlpha(style::color(Tone::secondary, pal), 0.35), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), frameRadius, frameRadius);
    }
}

} // namespace rig::app
