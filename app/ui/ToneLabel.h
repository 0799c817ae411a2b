// Widgets drawn in the page style.
#pragma once

#include "PageStyle.h"

#include <QLabel>
#include <QTextEdit>
#include <QTextLayout>

#include <array>
#include <utility>

namespace rig::app::style {

// Fills all of `widget` (from its paint event) as a smooth rounded rectangle.
void fillRounded(QWidget* widget, qreal radius, const QColor& color);

// A plain-text label whose colour follows the palette (re-derived on every palette change).
class ToneLabel : public QLabel {
    Q_OBJECT
public:
    explicit ToneLabel(const QString& text = {}, Tone tone = Tone::primary, QWidget* parent = nullptr);

    Tone tone() const { return tone_; }
    void setTone(Tone tone);
    // Drawn faded: the tone's colour at this part of its opacity. A colour, not a graphics
    // effect: each widget drawn through an effect makes Qt walk its whole window first.
    void setOpacity(double opacity);
    // setText only when it differs (avoids relayouts on every refresh).
    void updateText(const QString& text);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyTone();

    Tone tone_;
    double opacity_ = 1.0;
    bool applying_ = false;
};

// A label whose lines break between words and, inside a word longer than the line, anywhere: a
// long unbroken name never widens what holds it. Right-to-left text keeps its own direction. It
// can be selectable by mouse as a QLabel's text is.
class WrappingLabel : public ToneLabel {
    Q_OBJECT
public:
    // Narrower than `minimumChars` average characters only when the text is.
    explicit WrappingLabel(const QString& text = {}, Tone tone = Tone::primary, int minimumChars = 6,
                           QWidget* parent = nullptr);

    // Selecting with the mouse, copying with the keyboard and the context menu; the label then
    // takes the focus when clicked, as a selectable QLabel does (never by Tab).
    void setSelectable(bool selectable);
    bool isSelectable() const { return selectable_; }
    bool hasSelection() const { return anchor_ != cursor_; }
    QString selectedText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The text laid out in lines of `width` (kept until the width, text or font changes); the
    // height of its lines.
    qreal lay(int width) const;
    // Drops what was measured when the text or font changed since.
    void checkText() const;
    // Where the text starts in the widget (alignment inside the contents).
    QPointF textOrigin() const;
    int positionAt(const QPoint& point) const;
    void select(int anchor, int cursor);
    void copy() const;

    int minimumChars_;
    bool selectable_ = false;
    mutable int anchor_ = 0;
    mutable int cursor_ = 0;
    bool selecting_ = false;

    mutable QTextLayout layout_;
    mutable int laidWidth_ = -1;
    mutable qreal laidHeight_ = 0;
    mutable QString measuredText_;
    mutable QFont measuredFont_;
    mutable Qt::Alignment measuredAlignment_;
    mutable int fullWidth_ = -1;
    // The last heights asked for, by width.
    mutable std::array<std::pair<int, int>, 4> heights_{};
    mutable std::size_t nextHeight_ = 0;
};

// Read-only text in a tone that the user can select and copy, drawn like a label. Made for
// links: it wraps anywhere, since a link has no words to keep whole, and looking for them in a
// long one goes through the rest of it for every line.
class SelectableText : public QTextEdit {
    Q_OBJECT
public:
    SelectableText(const QString& text, Tone tone, const QFont& font, QWidget* parent = nullptr);

    QString text() const { return toPlainText(); }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void changeEvent(QEvent* event) override;
    // The list it stands in scrolls, never the text.
    void wheelEvent(QWheelEvent* event) override;

private:
    void applyTone();

    Tone tone_;
    bool applying_ = false;
    // Heights by width, the size hint's among them: layouts ask for both in turn, and each
    // answer lays the whole text out.
    mutable std::array<std::pair<int, int>, 4> heights_;
    mutable std::size_t nextHeight_ = 0;
    mutable int fullWidth_ = -1;
};

} // namespace rig::app::style
