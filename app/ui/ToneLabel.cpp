#include "ToneLabel.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextDocument>
#include <QTextLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <memory>

namespace rig::app::style {

void fillRounded(QWidget* widget, qreal radius, const QColor& color) {
    QPainter p(widget);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(widget->rect()), radius, radius);
    p.fillPath(path, color);
}

ToneLabel::ToneLabel(const QString& text, Tone tone, QWidget* parent) : QLabel(parent), tone_(tone) {
    // Report and project texts are never markup.
    setTextFormat(Qt::PlainText);
    setText(text);
    applyTone();
}

void ToneLabel::setTone(Tone tone) {
    if (tone == tone_) return;
    tone_ = tone;
    applyTone();
}

void ToneLabel::updateText(const QString& text) {
    if (text != this->text()) setText(text);
}

void ToneLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !applying_) applyTone();
}

void ToneLabel::applyTone() {
    applying_ = true;
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color(tone_, p));
    setPalette(p);
    applying_ = false;
}

namespace {

// Lines of `width` breaking between words, and inside a word only where it is longer than a
// line; their height.
qreal layOut(QTextLayout& layout, int width, Qt::Alignment alignment, Qt::LayoutDirection direction) {
    QTextOption option(alignment & Qt::AlignHorizontal_Mask);
    option.setTextDirection(direction);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1, width));
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

// A few characters: narrower than that a text is not worth reading.
int fewCharacters(const QFontMetrics& metrics) {
    return metrics.averageCharWidth() * 6;
}

} // namespace

WrappingLabel::WrappingLabel(const QString& text, Tone tone, QWidget* parent)
    : ToneLabel(text, tone, parent) {
    setWordWrap(true);
}

QSize WrappingLabel::sizeHint() const {
    const QMargins m = contentsMargins();
    return QSize(fontMetrics().horizontalAdvance(text()) + 1, fontMetrics().height()).grownBy(m);
}

QSize WrappingLabel::minimumSizeHint() const {
    const QSize hint = sizeHint();
    const QMargins m = contentsMargins();
    return QSize(std::min(hint.width(), fewCharacters(fontMetrics()) + m.left() + m.right()), hint.height());
}

int WrappingLabel::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    QTextLayout layout(text(), font(), const_cast<WrappingLabel*>(this));
    const qreal height = layOut(layout, width - m.left() - m.right(), alignment(), layoutDirection());
    return std::max(fontMetrics().height(), int(std::ceil(height))) + m.top() + m.bottom();
}

void WrappingLabel::paintEvent(QPaintEvent*) {
    const QRect area = contentsRect();
    QTextLayout layout(text(), font(), this);
    const qreal height = layOut(layout, area.width(), alignment(), layoutDirection());
    QPointF at = area.topLeft();
    if (alignment() & Qt::AlignVCenter) at.ry() += std::max(0.0, (area.height() - height) / 2);
    if (alignment() & Qt::AlignBottom) at.ry() += std::max(0.0, area.height() - height);
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    layout.draw(&p, at);
}

SelectableText::SelectableText(const QString& text, Tone tone, const QFont& font, QWidget* parent)
    : QTextEdit(parent), tone_(tone) {
    setFont(font);
    setFrameShape(QFrame::NoFrame);
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Taken by a click; Tab goes on between the buttons around it.
    setFocusPolicy(Qt::ClickFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setPlainText(text);
    applyTone();
}

QSize SelectableText::sizeHint() const {
    const int width = fontMetrics().horizontalAdvance(toPlainText()) + 1 + 2 * frameWidth();
    return QSize(width, heightForWidth(width));
}

QSize SelectableText::minimumSizeHint() const {
    return QSize(std::min(sizeHint().width(), fewCharacters(fontMetrics())), fontMetrics().height());
}

int SelectableText::heightForWidth(int width) const {
    if (width != laidWidth_) {
        // A copy, so that asking never disturbs the lines shown.
        const std::unique_ptr<QTextDocument> lines(document()->clone());
        lines->setTextWidth(std::max(1, width - 2 * frameWidth()));
        laidWidth_ = width;
        laidHeight_ = std::max(fontMetrics().height(), int(std::ceil(lines->size().height())));
    }
    return laidHeight_ + 2 * frameWidth();
}

void SelectableText::changeEvent(QEvent* event) {
    QTextEdit::changeEvent(event);
    if ((event->type() == QEvent::PaletteChange && !applying_) || event->type() == QEvent::ParentChange) {
        applyTone();
    }
    if (event->type() == QEvent::FontChange) {
        laidWidth_ = -1;
        updateGeometry();
    }
}

void SelectableText::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

void SelectableText::applyTone() {
    applying_ = true;
    // The tone of the palette around it: its own holds the tone already.
    const QPalette around = parentWidget() ? parentWidget()->palette() : QApplication::palette(this);
    QPalette p = palette();
    p.setColor(QPalette::Text, color(tone_, around));
    p.setColor(QPalette::Base, Qt::transparent);
    setPalette(p);
    applying_ = false;
}

} // namespace rig::app::style
