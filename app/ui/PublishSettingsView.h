// The Publishing tab of the settings window: whether publishing can work, and the publish
// server's address and the publish key behind an "Advanced" disclosure. The address is
// stored on every edit, the key when its editing ends; a key the keyring could not give is
// never offered for replacing.
#pragma once

#include "SettingsPane.h"
#include "ToneLabel.h"

class QGridLayout;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace rig::app {

class PublishSettings;

namespace style {
class ToneLabel;
}

class PublishSettingsView : public SettingsPane {
    Q_OBJECT
public:
    // Starts with the advanced group collapsed and the key hidden.
    explicit PublishSettingsView(PublishSettings& settings, QWidget* parent = nullptr);

    void setAdvancedShown(bool shown);
    void setKeyShown(bool shown);

    style::ToneLabel* statusLabel() const { return status_; }
    QLineEdit* keyField() const { return key_; }
    QPushButton* generateButton() const { return generate_; }
    QPushButton* copyButton() const { return copy_; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QGridLayout* buildFields();
    void refresh();
    void refreshStatus();
    void commitKey();
    void generateKey();
    void copyKey();

    PublishSettings& settings_;
    bool advanced_ = false;
    bool showKey_ = false;
    style::ToneLabel* status_;
    QToolButton* advancedButton_;
    QWidget* advancedGroup_;
    QLineEdit* server_;
    QLineEdit* key_;
    QPushButton* showKeyButton_;
    QPushButton* generate_;
    QPushButton* copy_;
    QPushButton* resetServer_;
};

} // namespace rig::app
