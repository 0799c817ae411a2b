#include "GeneralSettings.h"

#include "AppPaths.h"
#include "Appearance.h"
#include "DXFOptionsForm.h"
#include "DXFSettings.h"
#include "Fields.h"
#include "Preferences.h"

#include <utility>

namespace rig::app {

const QStringList GeneralSettings::appearanceValues = {QStringLiteral("system"), QStringLiteral("light"),
                                                       QStringLiteral("dark")};

namespace {

QString storedAppearance() {
    return settings().value(appearanceKey, QStringLiteral("system")).toString();
}

void store(const char* key, const QString& value) {
    settings().setValue(key, value);
    settings().sync();
}

} // namespace

GeneralSettings::GeneralSettings(DXFSettings& dxf, std::function<void()> applyAppearance, QWidget* parent)
    : SettingsPane(parent), applyAppearance_(std::move(applyAppearance)) {
    if (!applyAppearance_) applyAppearance_ = [] { rig::app::applyAppearance(); };

    appearance_ =
        new SegmentedControl({QStringLiteral("System"), QStringLiteral("Light"), QStringLiteral("Dark")});
    appearance_->setAccessibleName(QStringLiteral("Appearance"));
    addSection()->addLabelledRow(QStringLiteral("Appearance"), appearance_);
    connect(appearance_, &SegmentedControl::segmentClicked, this, &GeneralSettings::chooseAppearance);

    name_ = new BoxField({[] { return settings().value(authorNameKey).toString(); },
                          [this](const QString& name) {
                              store(authorNameKey, name);
                              // The placeholder is the name new projects get, so it follows.
                              name_->setPlaceholderText(defaultAuthorName());
                          }},
                         defaultAuthorName(), 260);
    addSection({}, QStringLiteral("Shown as the author on crew sheets, rigging PDFs and the crew link. New "
                                  "projects use this name; each project can change it in Overview."))
        ->addLabelledRow(QStringLiteral("Your name"), name_);

    addSection(QStringLiteral("Rigging points DXF (3D)"),
               QStringLiteral("Used by File ▸ Export DXF and the DXF in the crew link downloads. The "
                              "export window shows the same options."))
        ->addRow(new DXFOptionsForm(dxf));

    refresh();
}

void GeneralSettings::refresh() {
    appearance_->setCurrentIndex(int(appearanceValues.indexOf(storedAppearance())));
    name_->refresh();
    name_->setPlaceholderText(defaultAuthorName());
}

void GeneralSettings::showEvent(QShowEvent* event) {
    SettingsPane::showEvent(event);
    refresh();
}

void GeneralSettings::chooseAppearance(int index) {
    const QString value = appearanceValues.value(index);
    if (value.isEmpty() || value == storedAppearance()) return;
    // Stored first: applying reads the stored value.
    store(appearanceKey, value);
    applyAppearance_();
}

} // namespace rig::app
