// A bundled icon shown in one of the page tones, re-tinted when the palette changes.
#pragma once

#include "PageStyle.h"

#include <QLabel>
#include <QPalette>
#include <QString>

#include <optional>

namespace rig::app {

class IconLabel : public QLabel {
    Q_OBJECT
public:
    IconLabel(const QString& name, style::Tone tone, int side, QWidget* parent = nullptr);

    QString iconName() const { return name_; }
    style::Tone tone() const { return tone_; }
    void setIcon(const QString& name, style::Tone tone, double opacity = 1.0);
    // Draws the icon on a rounded plate of the palette's `plate` colour, in the tone's shade
    // for that plate; none draws it straight on what is behind.
    void setPlate(std::optional<QPalette::ColorRole> plate);

protected:
    void changeEvent(QEvent* event) override;

private:
    void paint();

    QString name_;
    style::Tone tone_;
    double opacity_ = 1.0;
    std::optional<QPalette::ColorRole> plate_;
    int side_;
    bool painting_ = false;
};

} // namespace rig::app
