// The program's one main window: the welcome page while the project has no sources, else
// the edit view (sidebar and the overview or a source's page) or the crew preview (wide, or
// in a phone-sized frame). Around it: the title, the File menu, the toolbar, drops of files
// anywhere in the window, the import-changes sheet and the error alert one after the other.
// Main thread only.
#pragma once

#include "WindowState.h"
#include "analysis/CrewDoc.h"
#include "model/Project.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QAbstractButton;
class QAction;
class QButtonGroup;
class QLabel;
class QPushButton;
class QMenu;
class QScrollArea;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QToolButton;

namespace rig::app {

class BusyIndicator;
class ExportCommands;
class ImportChangesDialog;
class MotorLibrary;
class ProjectStore;
class PublishButton;
class SidebarWidget;
class SourcePage;
class CrewArea;
class DropOverlay;

// The crew preview of the main window: made once when crew mode first shows, then handed
// every new document in place. The program shows the crew page; tests use a stand-in
// without a browser.
struct MainWindowCrewPreview {
    // The view is made inside `parent`: WebEngine draws nothing in a view made as a window of
    // its own and moved into the window afterwards.
    std::function<QWidget*(const CrewDoc& doc, bool split, QWidget* parent)> create;
    std::function<void(QWidget* view, const CrewDoc& doc, bool split)> show;
};

// Pieces the main window is built with; empty ones take the program's own.
struct MainWindowParts {
    MainWindowCrewPreview crewPreview;
    // The overview page, made once when the edit view first shows.
    std::function<QWidget*()> overview;
    // Opens or raises the settings window (File ▸ Settings…).
    std::function<void()> openSettings;
    // The File ▸ Export commands (required).
    ExportCommands* exports = nullptr;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int minimumWidth = 980;
    static constexpr int minimumHeight = 640;

    using CrewPreview = MainWindowCrewPreview;
    using Parts = MainWindowParts;

    MainWindow(ProjectStore& store, MotorLibrary& motors, Parts parts = Parts(), QWidget* parent = nullptr);
    ~MainWindow() override;

    ProjectStore& store() const { return store_; }

    // --- The window's own state ----------------------------------------------------------
    Mode mode() const { return view_.mode; }
    bool phoneSize() const { return view_.phoneSize; }
    std::optional<Selection> selection() const { return view_.selection; }
    WindowContent content() const { return content_; }
    void setMode(Mode mode);
    void setPhoneSize(bool phone);
    void setSelection(std::optional<Selection> selection);

    // A step of the snapshot mode: "crew", "phone", a source identifier,
    // "overview" or none. See applyDevSelect.
    void devSelect(const std::optional<QString>& step);

    // Asks the store's save prompt unless it was answered for this document as the user left
    // it (work the user started may have changed its crew link since: that is kept the way
    // the answer said); true when the program may end.
    bool confirmQuit();
    // Asks before quitting while work the user started still runs (PDF exports printing, a
    // publish with its download files); true when the program may end now. "Finish, Then
    // Quit" keeps the window open and answering until that work has ended, then closes it;
    // a failure reported meanwhile stops that quit. Asked once per quit: after "Quit Now"
    // it answers true.
    bool confirmRunningWork();
    // True while a close waits for running work to end.
    bool quitsWhenDone() const { return quitWhenDone_; }
    // For an end that may ask nothing (a logout without interaction): unsaved work goes into
    // its file or the recovery copy now; once it is there, the close that follows asks nothing
    // unless the project changes before it, and does not wait for running work.
    void keepWorkWithoutAsking();

    // --- Parts, for the program, tests and the snapshot mode ------------------------------
    SidebarWidget* sidebar() const { return sidebar_; }
    // The source page shown in the detail, null while the overview shows.
    SourcePage* sourcePage() const;
    // The overview page, null until the edit view first showed.
    QWidget* overviewPage() const { return overview_; }
    // The import-changes sheet while it is open.
    ImportChangesDialog* changesSheet() const;

    struct Actions {
        QAction* newProject = nullptr;
        QAction* open = nullptr;
        QMenu* openRecent = nullptr;
        QAction* import = nullptr;
        QAction* save = nullptr;
        QAction* saveAs = nullptr;
        QAction* exportRiggingPDF = nullptr;
        QAction* exportCSV = nullptr;
        QAction* exportDXF = nullptr;
        QAction* exportCrewPDF = nullptr;
        QAction* settings = nullptr;
        QAction* quit = nullptr;
    };
    const Actions& actions() const { return actions_; }
    // Fills the Open Recent menu from the store (each time the list changes or the menu is
    // about to show); disabled while the list is empty.
    void fillRecentMenu();

    struct Toolbar {
        QToolBar* bar = nullptr;           // hidden while it has nothing to show
        QWidget* modeSwitch = nullptr;     // shown with the project
        QButtonGroup* modes = nullptr;     // ids: Mode values
        QWidget* sizeSwitch = nullptr;     // shown in crew mode
        QButtonGroup* sizes = nullptr;     // id 0: "Wide", 1: "Phone"
        PublishButton* publish = nullptr;  // shown with the project
        QToolButton* copyLink = nullptr;   // shown with the project
        QLabel* finishing = nullptr;       // shown while a quit waits for running work
        BusyIndicator* progress = nullptr; // shown while importing or finishing
    };
    const Toolbar& toolbar() const { return toolbar_; }

signals:
    void modeChanged();
    void phoneSizeChanged();
    void selectionChanged();
    void contentChanged();
    // The main window accepted its close: the program ends.
    void closed();
    void quitsWhenDoneChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fillDefaultParts();
    void buildMenus();
    void buildToolbar();
    void updateContent();
    void updateDetail();
    void updateCrew();
    void updateToolbar();
    void updateTitle();
    void restyle();
    void runExport(int kind);
    void copyLink();
    void setDropTarget(bool target);
    bool handleDrag(QEvent* event);
    // The sheet, then the alert, never two at once and never over another modal dialog.
    void schedulePresentation();
    void presentNext();
    bool hasRunningWork() const;
    // Whether the save prompt's last answer covers the document as it is now; when only its
    // crew link changed since, the work is kept again first (false when that fails).
    bool saveAnswerHolds();
    void rememberSaveAnswer();
    // The open project into its file or, untitled, the recovery copy, as a quit that asks
    // nothing keeps it; true when nothing needed keeping or it was written.
    bool keepWork();
    void setQuitWhenDone(bool quit);
    // Once running work has changed: the close waiting for it goes on when it has all ended.
    void scheduleWorkCheck();
    void quitIfWorkDone();

    ProjectStore& store_;
    MotorLibrary& motors_;
    Parts parts_;
    WindowView view_;
    WindowContent content_ = WindowContent::welcome;

    QStackedWidget* stack_ = nullptr;
    QSplitter* editView_ = nullptr;
    SidebarWidget* sidebar_ = nullptr;
    QStackedWidget* detail_ = nullptr;
    QWidget* overview_ = nullptr;
    QPointer<SourcePage> sourcePage_;
    std::optional<std::string> sourcePageID_;
    QScrollArea* crewScroll_ = nullptr;
    CrewArea* crewArea_ = nullptr;
    QWidget* crewView_ = nullptr;
    DropOverlay* dropOverlay_ = nullptr;
    bool dropTarget_ = false;

    Actions actions_;
    Toolbar toolbar_;
    QList<QPushButton*> segments_;
    bool restyling_ = false;

    QPointer<ImportChangesDialog> sheet_;
    bool presenting_ = false;
    bool presentationQueued_ = false;
    QTimer presentRetry_;

    // The document the save prompt was last answered for (or its work kept without asking):
    // generation, revision and the project as it was then.
    struct SaveAnswered {
        std::uint64_t generation = 0;
        std::uint64_t revision = 0;
        Project project;
    };
    std::optional<SaveAnswered> saveAnswered_;
    bool closeQuestionQueued_ = false;
    // "Finish, Then Quit" was chosen and the work has not ended yet.
    bool quitWhenDone_ = false;
    bool workCheckQueued_ = false;
    // The next close drops running work without asking ("Quit Now", a session's end).
    bool quitNow_ = false;
};

} // namespace rig::app
