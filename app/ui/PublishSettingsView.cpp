#include "PublishSettingsView.h"

#include "Icons.h"
#include "Prompts.h"
#include "PublishClient.h"
#include "PublishSettings.h"
#include "ToneLabel.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
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
    // Keyring and address failures are whole sentences: wrapped, never wider than the window.
    status_->setWordWrap(true);
    status_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
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

    stack->addLayout(buildFields());

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
    // Each keyring write may ask the user to unlock it: once per edit, not per keystroke.
    connect(key_, &QLineEdit::editingFinished, this, &PublishSettingsView::commitKey);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &PublishSettingsView::commitKey);
    connect(showKeyButton_, &QPushButton::clicked, this, [this] { setKeyShown(!showKey_); });
    connect(generate_, &QPushButton::clicked, this, &PublishSettingsView::generateKey);
    connect(copy_, &QPushButton::clicked, this, &PublishSettingsView::copyKey);
    connect(resetServer_, &QPushButton::clicked, this,
            [this] { settings_.setServer(PublishSettings::defaultServer()); });
    connect(&settings_, &PublishSettings::serverChanged, this, &PublishSettingsView::refresh);
    connect(&settings_, &PublishSettings::keyChanged, this, &PublishSettingsView::refresh);
    connect(&settings_, &PublishSettings::keyLoaded, this, &PublishSettingsView::refresh);
    connect(&settings_, &PublishSettings::keyringErrorChanged, this, &PublishSettingsView::refresh);

    setAdvancedShown(false);
    setKeyShown(false);
    refresh();
}

// The server address, and the publish key with its "Show" button.
QGridLayout* PublishSettingsView::buildFields() {
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
    return fields;
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

void PublishSettingsView::hideEvent(QHideEvent* event) {
    commitKey(); // the window closes with the key still being edited
    SettingsPane::hideEvent(event);
}

void PublishSettingsView::refresh() {
    const QString key = settings_.key();
    refreshStatus();
    // A stored key that could not be read may still exist: nothing here may replace it.
    const bool keyKnown = settings_.isKeyLoaded() && !settings_.keyReadError();
    key_->setReadOnly(!keyKnown);
    generate_->setEnabled(keyKnown);
    copy_->setEnabled(!key.isEmpty());
    resetServer_->setVisible(settings_.server() != PublishSettings::defaultServer());
    showText(server_, settings_.server());
    showText(key_, key);
}

void PublishSettingsView::refreshStatus() {
    auto show = [this](const QString& text, style::Tone tone) {
        status_->updateText(text);
        status_->setTone(tone);
    };
    if (const auto failure =
            settings_.keyReadError() ? settings_.keyReadError() : settings_.keyWriteError()) {
        show(*failure, style::Tone::orange);
    } else if (!settings_.isKeyLoaded() && settings_.key().isEmpty()) {
        // Still reading the keyring: neither state is known yet.
        status_->updateText({});
    } else if (settings_.key().isEmpty()) {
        show(QStringLiteral("Not set up \u2013 Publish will not work"), style::Tone::orange);
    } else if (const ServerTransport transport = serverTransport(settings_.server());
               transport == ServerTransport::unencrypted) {
        show(publishText::httpsRequired, style::Tone::orange);
    } else if (transport == ServerTransport::localNetwork) {
        show(QStringLiteral("Ready \u2013 not encrypted (local network)"), style::Tone::secondary);
    } else {
        show(QStringLiteral("Ready"), style::Tone::secondary);
    }
}

void PublishSettingsView::commitKey() {
    if (!key_->isModified()) return;
    key_->setModified(false);
    if (key_->text() != settings_.key()) settings_.setKey(key_->text());
}

void PublishSettingsView::generateKey() {
    if (!settings_.isKeyLoaded() || settings_.keyReadError()) return;
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
    commitKey();
    const QString key = settings_.key();
    if (key.isEmpty()) return;
    auto* data = new QMimeData;
    data->setText(key);
    // Clipboard managers keep no history of data marked so.
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

} // namespace rig::app
