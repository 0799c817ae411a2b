// The settings window: one top-level window of 560 × 480 with the tabs General, Motors and
// Publishing. Every control writes through at once; there is nothing to confirm or cancel, and
// Escape or Ctrl+W closes it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QAction;
class QStackedWidget;
class QTabBar;

namespace rig::app {

class DXFSettings;
class MotorLibrary;
class MotorsSettings;
class PublishSettings;

class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 560;
    static constexpr int height = 480;

    // A window that never keeps the program running on its own, with fresh tabs (empty add
    // row, publishing details collapsed, key hidden) on the General tab.
    SettingsWindow(MotorLibrary& motors, DXFSettings& dxf, PublishSettings& publish,
                   QWidget* parent = nullptr);

    MotorsSettings* motors() const { return motors_; }

private:
    QTabBar* tabBar_;
    QStackedWidget* pages_;
    MotorsSettings* motors_;
};

// Opens the settings window, or brings the open one to the front. Each opening after a close
// builds a new window, so the tabs start fresh; a closed window is deleted.
class SettingsOpener : public QObject {
    Q_OBJECT
public:
    SettingsOpener(MotorLibrary& motors, DXFSettings& dxf, PublishSettings& publish,
                   QObject* parent = nullptr);
    ~SettingsOpener() override;

    // Shows and raises the window; gives it.
    SettingsWindow* open();
    // The open window, or null.
    SettingsWindow* window() const { return window_; }

    // "Settings…" with Ctrl+, (set explicitly: GNOME gives the standard Preferences key
    // nothing), opening the window when triggered. The action belongs to `parent`.
    QAction* createAction(QObject* parent);

private:
    MotorLibrary& motors_;
    DXFSettings& dxf_;
    PublishSettings& publish_;
    QPointer<SettingsWindow> window_;
};

} // namespace rig::app
