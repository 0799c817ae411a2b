#include "ToneLabel.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QTextBoundaryFinder>
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

void ToneLabel::setOpacity(double opacity) {
    if (opacity == opacity_) return;
    opacity_ = opacity;
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
    p.setColor(QPalette::WindowText, withAlpha(color(tone_, p), opacity_));
    setPalette(p);
    applying_ = false;
}

namespace {

// A few characters: narrower than that a text is not worth reading.
int fewCharacters(const QFontMetrics& metrics) {
    return metrics.averageCharWidth() * 6;
}

} // namespace

WrappingLabel::WrappingLabel(const QString& text, Tone tone, int minimumChars, QWidget* parent)
    : ToneLabel(text, tone, parent), minimumChars_(minimumChars) {
    heights_.fill({-1, 0});
    // Layouts read height-for-width from the size policy, which QLabel sets again on every
    // setText: to whether it wraps.
    setWordWrap(true);
}

void WrappingLabel::setSelectable(bool selectable) {
    selectable_ = selectable;
    setFocusPolicy(selectable ? Qt::ClickFocus : Qt::NoFocus);
    if (selectable) {
        setCursor(Qt::IBeamCursor);
    } else {
        unsetCursor();
        select(0, 0);
    }
}

QString WrappingLabel::selectedText() const {
    checkText();
    return text().mid(std::min(anchor_, cursor_), std::abs(cursor_ - anchor_));
}

void WrappingLabel::checkText() const {
    if (measuredText_ == text() && measuredFont_ == font() && measuredAlignment_ == alignment()) return;
    measuredText_ = text();
    measuredFont_ = font();
    measuredAlignment_ = alignment();
    laidWidth_ = -1;
    fullWidth_ = -1;
    heights_.fill({-1, 0});
    // A selection belongs to the text it was made in.
    anchor_ = cursor_ = 0;
}

qreal WrappingLabel::lay(int width) const {
    checkText();
    width = std::max(1, width);
    if (width == laidWidth_) return laidHeight_;
    // A line break in the text is one in the label too.
    QString shown = text();
    shown.replace(u'\n', QChar::LineSeparator);
    layout_.setText(shown);
    layout_.setFont(font());
    QTextOption option(alignment() & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout_.setTextOption(option);
    qreal y = 0;
    layout_.beginLayout();
    for (QTextLine line = layout_.createLine(); line.isValid(); line = layout_.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout_.endLayout();
    laidWidth_ = width;
    laidHeight_ = y;
    return y;
}

QSize WrappingLabel::sizeHint() const {
    checkText();
    if (fullWidth_ < 0) {
        // As the lines are laid out, which may come to a fraction more than the font's metrics.
        QTextLayout whole(QString(text()).replace(u'\n', QChar::LineSeparator), font());
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        whole.setTextOption(option);
        whole.beginLayout();
        qreal width = 0;
        for (QTextLine line = whole.createLine(); line.isValid(); line = whole.createLine()) {
            line.setLineWidth(1e6);
            width = std::max(width, line.naturalTextWidth());
        }
        whole.endLayout();
        fullWidth_ = int(std::ceil(width)) + 1;
    }
    const QMargins m = contentsMargins();
    const int width = fullWidth_ + m.left() + m.right();
    return QSize(width, heightForWidth(width));
}

QSize WrappingLabel::minimumSizeHint() const {
    const QMargins m = contentsMargins();
    const int full = sizeHint().width() - m.left() - m.right();
    const QSize line(std::min(full, minimumChars_ * fontMetrics().averageCharWidth()),
                     fontMetrics().height());
    return line.grownBy(m);
}

int WrappingLabel::heightForWidth(int width) const {
    checkText();
    for (const auto& [w, h] : heights_)
        if (w == width) return h;
    const QMargins m = contentsMargins();
    const int lines = int(std::ceil(lay(width - m.left() - m.right())));
    const int height = std::max(fontMetrics().height(), lines) + m.top() + m.bottom();
    heights_[nextHeight_] = {width, height};
    nextHeight_ = (nextHeight_ + 1) % heights_.size();
    return height;
}

QPointF WrappingLabel::textOrigin() const {
    const QRect area = contentsRect();
    const qreal height = lay(area.width());
    qreal y = area.top();
    if (alignment() & Qt::AlignVCenter) y += std::max(0.0, (area.height() - height) / 2);
    if (alignment() & Qt::AlignBottom) y += std::max(0.0, area.height() - height);
    return QPointF(area.left(), y);
}

void WrappingLabel::paintEvent(QPaintEvent*) {
    const QPointF origin = textOrigin();
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    QList<QTextLayout::FormatRange> selection;
    if (hasSelection()) {
        QTextLayout::FormatRange range;
        range.start = std::min(anchor_, cursor_);
        range.length = std::abs(cursor_ - anchor_);
        range.format.setBackground(palette().brush(QPalette::Highlight));
        range.format.setForeground(palette().brush(QPalette::HighlightedText));
        selection << range;
    }
    layout_.draw(&p, origin, selection);
}

int WrappingLabel::positionAt(const QPoint& point) const {
    const QPointF at = QPointF(point) - textOrigin();
    if (layout_.lineCount() == 0) return 0;
    QTextLine line = layout_.lineAt(layout_.lineCount() - 1);
    for (int i = 0; i < layout_.lineCount(); ++i) {
        if (at.y() < layout_.lineAt(i).rect().bottom()) {
            line = layout_.lineAt(i);
            break;
        }
    }
    return line.xToCursor(at.x());
}

void WrappingLabel::select(int anchor, int cursor) {
    checkText();
    if (anchor == anchor_ && cursor == cursor_) return;
    anchor_ = anchor;
    cursor_ = cursor;
    update();
}

void WrappingLabel::copy() const {
    if (hasSelection()) QGuiApplication::clipboard()->setText(selectedText());
}

void WrappingLabel::mousePressEvent(QMouseEvent* event) {
    if (!selectable_ || event->button() != Qt::LeftButton) return ToneLabel::mousePressEvent(event);
    const int at = positionAt(event->position().toPoint());
    select(at, at);
    selecting_ = true;
}

void WrappingLabel::mouseMoveEvent(QMouseEvent* event) {
    if (!selecting_) return ToneLabel::mouseMoveEvent(event);
    select(anchor_, positionAt(event->position().toPoint()));
}

void WrappingLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (!selecting_) return ToneLabel::mouseReleaseEvent(event);
    selecting_ = false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void WrappingLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!selectable_ || event->button() != Qt::LeftButton) return ToneLabel::mouseDoubleClickEvent(event);
    const int at = positionAt(event->position().toPoint());
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text());
    words.setPosition(at);
    const bool starts = words.isAtBoundary() && (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem);
    const int start = starts ? at : int(words.toPreviousBoundary());
    words.setPosition(at);
    const int end = int(words.toNextBoundary());
    select(std::max(0, start), end < 0 ? int(text().size()) : end);
}

void WrappingLabel::keyPressEvent(QKeyEvent* event) {
    if (selectable_ && event == QKeySequence::Copy) {
        copy();
    } else if (selectable_ && event == QKeySequence::SelectAll) {
        select(0, int(text().size()));
    } else {
        ToneLabel::keyPressEvent(event);
    }
}

void WrappingLabel::contextMenuEvent(QContextMenuEvent* event) {
    if (!selectable_) return ToneLabel::contextMenuEvent(event);
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copying = menu->addAction(QStringLiteral("&Copy"), this, &WrappingLabel::copy);
    copying->setShortcut(QKeySequence::Copy);
    copying->setEnabled(hasSelection());
    menu->addAction(QStringLiteral("Select All"), this, [this] { select(0, int(text().size())); })
        ->setShortcut(QKeySequence::SelectAll);
    menu->popup(event->globalPos());
}

void WrappingLabel::focusOutEvent(QFocusEvent* event) {
    ToneLabel::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason) select(0, 0);
}

SelectableText::SelectableText(const QString& text, Tone tone, const QFont& font, QWidget* parent)
    : QTextEdit(parent), tone_(tone) {
    heights_.fill({-1, 0});
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
    setWordWrapMode(QTextOption::WrapAnywhere);
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setPlainText(text);
    applyTone();
}

QSize SelectableText::sizeHint() const {
    if (fullWidth_ < 0) fullWidth_ = fontMetrics().horizontalAdvance(toPlainText()) + 1 + 2 * frameWidth();
    return QSize(fullWidth_, heightForWidth(fullWidth_));
}

QSize SelectableText::minimumSizeHint() const {
    return QSize(std::min(sizeHint().width(), fewCharacters(fontMetrics())), fontMetrics().height());
}

int SelectableText::heightForWidth(int width) const {
    for (const auto& [w, h] : heights_)
        if (w == width) return h;
    // A copy, so that asking never disturbs the lines shown.
    const std::unique_ptr<QTextDocument> lines(document()->clone());
    lines->setTextWidth(std::max(1, width - 2 * frameWidth()));
    const int height =
        std::max(fontMetrics().height(), int(std::ceil(lines->size().height()))) + 2 * frameWidth();
    heights_[nextHeight_] = {width, height};
    nextHeight_ = (nextHeight_ + 1) % heights_.size();
    return height;
}

void SelectableText::changeEvent(QEvent* event) {
    QTextEdit::changeEvent(event);
    if ((event->type() == QEvent::PaletteChange && !applying_) || event->type() == QEvent::ParentChange) {
        applyTone();
    }
    if (event->type() == QEvent::FontChange) {
        heights_.fill({-1, 0});
        fullWidth_ = -1;
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
