// A plain-text label that wraps at word boundaries and, where one word is longer than the line,
// anywhere: a long unbroken name or text takes more lines instead of widening its page. Right-to-
// left text keeps its own direction. It can be selectable by mouse as a QLabel's text is.
#pragma once

#include "ToneLabel.h"

#include <QTextLayout>

#include <array>
#include <utility>

namespace rig::app::style {

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

} // namespace rig::app::style
