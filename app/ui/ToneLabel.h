// Widgets drawn in the page style.
#pragma once

#include "PageStyle.h"

#include <QLabel>
#include <QTextEdit>

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
    // setText only when it differs (avoids relayouts on every refresh).
    void updateText(const QString& text);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyTone();

    Tone tone_;
    bool applying_ = false;
};

// A label whose lines break between words and, inside a word longer than the line, anywhere: a
// long unbroken name never widens what holds it.
class WrappingLabel : public ToneLabel {
    Q_OBJECT
public:
    explicit WrappingLabel(const QString& text = {}, Tone tone = Tone::primary, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Read-only text in a tone that the user can select and copy, drawn like a label and wrapped
// as a WrappingLabel is.
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
    mutable int laidWidth_ = -1;
    mutable int laidHeight_ = 0;
};

} // namespace rig::app::style
