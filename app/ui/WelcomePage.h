// The window's content while the project has no sources: what the program is for, the two
// ways in (import, open), the most recent projects and the progress of a running import.
#pragma once

#include <QList>
#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace rig::app {

class ProjectStore;

class WelcomePage : public QWidget {
    Q_OBJECT
public:
    static constexpr int recentShown = 6;

    explicit WelcomePage(ProjectStore& store, QWidget* parent = nullptr);

    QPushButton* openButton() const { return open_; }
    // The recent entries shown, most recent first (empty while there are none).
    const QList<QPushButton*>& recentButtons() const { return recentButtons_; }
    // The "Recent" block; hidden while there are no recent projects.
    QWidget* recentBlock() const { return recentBlock_; }

    // Title of a recent entry: the file name without its last extension.
    static QString recentTitle(const QString& path);

private:
    QWidget* buildButtons();
    QWidget* buildRecentBlock();
    void updateRecent();
    void updateProgress();

    ProjectStore& store_;
    QPushButton* import_ = nullptr;
    QPushButton* open_ = nullptr;
    QWidget* recentBlock_ = nullptr;
    QVBoxLayout* recentList_ = nullptr;
    QList<QPushButton*> recentButtons_;
    QWidget* progress_ = nullptr;
};

} // namespace rig::app
