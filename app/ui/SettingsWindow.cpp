#include "SettingsWindow.h"

#include "DXFSettings.h"
#include "GeneralSettings.h"
#include "Icons.h"
#include "MotorLibrary.h"
#include "MotorsSettings.h"
#include "PublishSettings.h"
#include "PublishSettingsView.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPainter>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

namespace rig::app {

namespace {

struct TabInfo {
    const char* title;
    const char* icon;
};
constexpr TabInfo tabInfo[] = {
    {"General", "person"},
    {"Motors", "arrow.up.and.down.square"},
    {"Publishing", "paperplane"},
};

// Fusion draws the current tab barely lighter than the others on a dark palette; a line in
// the accent colour under it shows which page is open in either appearance.
class SettingsTabBar : public QTabBar {
protected:
    void paintEvent(QPaintEvent* event) override {
        QTabBar::paintEvent(event);
        if (currentIndex() < 0) return;
        const QRect tab = tabRect(currentIndex());
        QPainter painter(this);
        painter.fillRect(QRect(tab.left() + 8, tab.bottom() - 1, tab.width() - 16, 2),
                         palette().color(QPalette::Highlight));
    }
};

} // namespace

SettingsWindow::SettingsWindow(MotorLibrary& motors, DXFSettings& dxf, PublishSettings& publish,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), tabBar_(new SettingsTabBar), pages_(new QStackedWidget),
      motors_(new MotorsSettings(motors)) {
    setWindowTitle(QStringLiteral("Settings"));
    setFixedSize(width, height);
    // Closing the main window ends the program even while this window is open.
    setAttribute(Qt::WA_QuitOnClose, false);

    tabBar_->setDocumentMode(true);
    tabBar_->setDrawBase(false);
    tabBar_->setExpanding(false);
    tabBar_->setIconSize({18, 18});
    for (const TabInfo& tab : tabInfo) tabBar_->addTab(QString::fromUtf8(tab.title));
    pages_->addWidget(new GeneralSettings(dxf));
    pages_->addWidget(motors_);
    pages_->addWidget(new PublishSettingsView(publish));
    // Drawn in the application palette's text colour whenever painted, so a change of
    // appearance re-tints them.
    for (int i = 0; i < tabBar_->count(); ++i)
        tabBar_->setTabIcon(i, tintedIcon(QString::fromUtf8(tabInfo[i].icon)));
    connect(tabBar_, &QTabBar::currentChanged, pages_, &QStackedWidget::setCurrentIndex);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 8, 0, 0);
    header->addStretch(1);
    header->addWidget(tabBar_);
    header->addStretch(1);
    auto* rule = new QFrame;
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Plain);
    rule->setForegroundRole(QPalette::Mid);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addWidget(rule);
    layout->addWidget(pages_, 1);

    auto* close = new QShortcut(QKeySequence::Close, this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    // As a dialog closes on Escape: every change is kept already, nothing is left to confirm.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

// ---- SettingsOpener ---------------------------------------------------------------------------

SettingsOpener::SettingsOpener(MotorLibrary& motors, DXFSettings& dxf, PublishSettings& publish,
                               QObject* parent)
    : QObject(parent), motors_(motors), dxf_(dxf), publish_(publish) {}

SettingsOpener::~SettingsOpener() {
    delete window_.data();
}

SettingsWindow* SettingsOpener::open() {
    if (!window_) {
        window_ = new SettingsWindow(motors_, dxf_, publish_);
        window_->setAttribute(Qt::WA_DeleteOnClose);
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
    return window_;
}

QAction* SettingsOpener::createAction(QObject* parent) {
    auto* action = new QAction(QStringLiteral("Settings…"), parent);
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    action->setMenuRole(QAction::PreferencesRole);
    connect(action, &QAction::triggered, this, [this] { open(); });
    return action;
}

} // namespace rig::app
