#include "PublishSettingsView.h"

#include "Icons.h"
#include "Prompts.h"
#include "PublishClient.h"
#include "PublishSettings.h"
#include "ToneLabel.h"

#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace rig::app {

namespace {

// The text a field shows unless the user is typing in it.
void showText(QLineEdit* field, const QString& text) {
    if (field->window()->focusWidget() == field || field->text() == text) return;
    const QSignalBlocker block(field);
    field->setText(text);
}

} // namespace

PublishSettingsView::PublishSettingsView(PublishSettings& settings, QWidget* parent)
    : SettingsPane(parent), settings_(settings) {
    FormSection* section = addSection(QStringLiteral("Crew link"));

    status_ = new style::ToneLabel({}, style::Tone::secondary);
    section->addLabelledRow(QStringLiteral("Status"), status_);

    auto* group = new QWidget;
    auto* groupColumn = new QVBoxLayout(group);
    groupColumn->setContentsMargins(0, 0, 0, 0);
    groupColumn->setSpacing(0);
    advancedButton_ = new QToolButton;
    advancedButton_->setText(QStringLiteral("Advanced (server and key)"));
    advancedButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    advancedButton_->setAutoRaise(true);
    advancedButton_->setIconSize({14, 14});
    groupColumn->addWidget(advancedButton_, 0, Qt::AlignLeft);

    advancedGroup_ = new QWidget;
    auto* stack = new QVBoxLayout(advancedGroup_);
    stack->setContentsMargins(0, 6 + 4, 0, 6);
    stack->setSpacing(8);
    groupColumn->addWidget(advancedGroup_);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(10);
    fields->setVerticalSpacing(8);
    server_ = new QLineEdit;
    server_->setAccessibleName(QStringLiteral("Server"));
    auto* serverTitle = new QLabel(QStringLiteral("Server"));
    serverTitle->setBuddy(server_);
    fields->addWidget(serverTitle, 0, 0);
    fields->addWidget(server_, 0, 1, 1, 2);
    key_ = new QLineEdit;
    key_->setAccessibleName(QStringLiteral("Publish key"));
    key_->setEchoMode(QLineEdit::Password);
    auto* keyTitle = new QLabel(QStringLiteral("Publish key"));
    keyTitle->setBuddy(key_);
    showKeyButton_ = new QPushButton(QStringLiteral("Show"));
    fields->addWidget(keyTitle, 1, 0);
    fields->addWidget(key_, 1, 1);
    fields->addWidget(showKeyButton_, 1, 2);
    fields->setColumnStretch(1, 1);
    stack->addLayout(fields);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    generate_ = new QPushButton(QStringLiteral("Generate New Key"));
    copy_ = new QPushButton(QStringLiteral("Copy Key"));
    resetServer_ = new QPushButton(QStringLiteral("Reset Server"));
    for (QPushButton* button : {showKeyButton_, generate_, copy_, resetServer_}) padButton(button);
    buttons->addWidget(generate_);
    buttons->addWidget(copy_);
    buttons->addWidget(resetServer_);
    buttons->addStretch(1);
    stack->addLayout(buttons);

    auto* caption = new style::ToneLabel(
        QStringLiteral("A new key stops publishing until the same key is set on the server by whoever runs "
                       "it. The key is stored in the system keyring."),
        style::Tone::secondary);
    caption->setFont(style::captionFont());
    caption->setWordWrap(true);
    stack->addWidget(caption);
    section->addRow(group);

    connect(advancedButton_, &QToolButton::clicked, this, [this] { setAdvancedShown(!advanced_); });
    connect(server_, &QLineEdit::textEdited, &settings_, &PublishSettings::setServer);
    connect(key_, &QLineEdit::textEdited, &settings_, &PublishSettings::setKey);
    connect(showKeyButton_, &QPushButton::clicked, this, [this] { setKeyShown(!showKey_); });
    connect(generate_, &QPushButton::clicked, this, &PublishSettingsView::generateKey);
    connect(copy_, &QPushButton::clicked, this, &PublishSettingsView::copyKey);
    connect(resetServer_, &QPushButton::clicked, this,
            [this] { settings_.setServer(PublishSettings::defaultServer()); });
    connect(&settings_, &PublishSettings::serverChanged, this, &PublishSettingsView::refresh);
    connect(&settings_, &PublishSettings::keyChanged, this, &PublishSettingsView::refresh);
    connect(&settings_, &PublishSettings::keyLoaded, this, &PublishSettingsView::refresh);

    setAdvancedShown(false);
    setKeyShown(false);
    refresh();
}

void PublishSettingsView::setAdvancedShown(bool shown) {
    advanced_ = shown;
    advancedButton_->setIcon(
        tintedIcon(shown ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right")));
    advancedGroup_->setVisible(shown);
}

void PublishSettingsView::setKeyShown(bool shown) {
    showKey_ = shown;
    // The same field in both states, so typing and the cursor carry over.
    key_->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    showKeyButton_->setText(shown ? QStringLiteral("Hide") : QStringLiteral("Show"));
}

void PublishSettingsView::refresh() {
    const QString key = settings_.key();
    if (!settings_.isKeyLoaded() && key.isEmpty()) {
        // Still reading the keyring: neither state is known yet.
        status_->updateText({});
    } else if (key.isEmpty()) {
        status_->updateText(QStringLiteral("Not set up – Publish will not work"));
        status_->setTone(style::Tone::orange);
    } else {
        switch (serverTransport(settings_.server())) {
        case ServerTransport::unencrypted:
            status_->updateText(publishText::httpsRequired);
            status_->setTone(style::Tone::orange);
            break;
        case ServerTransport::localNetwork:
            status_->updateText(QStringLiteral("Ready \u2013 not encrypted (local network)"));
            status_->setTone(style::Tone::secondary);
            break;
        default:
            status_->updateText(QStringLiteral("Ready"));
            status_->setTone(style::Tone::secondary);
            break;
        }
    }
    copy_->setEnabled(!key.isEmpty());
    resetServer_->setVisible(settings_.server() != PublishSettings::defaultServer());
    showText(server_, settings_.server());
    showText(key_, key);
}

void PublishSettingsView::generateKey() {
    if (!settings_.generatePublishKey()) {
        prompts().showAlert(QStringLiteral("No new key was made: the system’s random source failed. The "
                                           "key is unchanged."));
        return;
    }
    setKeyShown(true);
    // Shown even when the key field has the focus: the new key replaced whatever was typed.
    const QSignalBlocker block(key_);
    key_->setText(settings_.key());
}

void PublishSettingsView::copyKey() {
    const QString key = settings_.key();
    if (key.isEmpty()) return;
    QGuiApplication::clipboard()->setText(key, QClipboard::Clipboard);
}

} // namespace rig::app
