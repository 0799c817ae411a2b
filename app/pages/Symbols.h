// The few symbols the pages draw beside texts and on buttons, painted in a palette colour so
// they read in light and dark and need no icon theme. Names follow the symbol names used
// across the program: "exclamationmark.octagon.fill", "exclamationmark.triangle.fill",
// "exclamationmark.circle", "info.circle", "checkmark.circle", "wifi.exclamationmark",
// "doc.on.doc", "square.and.arrow.up", "trash", "chevron.right", "chevron.down".
#pragma once

#include "pages/PageStyle.h"

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QWidget>

class QPainter;

namespace rig::app {

// Draws the symbol into `box`; `cutout` is the colour of the marks inside filled shapes.
void paintSymbol(QPainter& painter, const QString& name, const QRectF& box, const QColor& color,
                 const QColor& cutout);

QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio = 1.0);

// For buttons: the symbol in the button text colour of `palette`, faded when disabled.
QIcon symbolIcon(const QString& name, const QPalette& palette);

// A symbol in a tone of the widget's palette, as high as a line of `font`.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(const QString& name, style::Tone tone, const QFont& font, QWidget* parent = nullptr);

    QString name() const { return name_; }
    style::Tone tone() const { return tone_; }
    void setSymbol(const QString& name, style::Tone tone);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString name_;
    style::Tone tone_;
};

} // namespace rig::app
