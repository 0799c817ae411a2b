// A symbol of the program's icon set (shell/Icons.h) beside a text, drawn in a tone of the
// page's palette so it follows light and dark.
#pragma once

#include "PageStyle.h"

#include <QIcon>
#include <QString>
#include <QWidget>

namespace rig::app {

// For buttons: the symbol in the button text colour, faded when disabled.
QIcon symbolIcon(const QString& name);

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
