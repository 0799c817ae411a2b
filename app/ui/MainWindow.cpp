#include "MainWindow.h"

#include "BusyIndicator.h"
#include "CrewLink.h"
#include "CrewWebView.h"
#include "ExportCommands.h"
#include "FormLayout.h"
#include "Icons.h"
#include "ImportChangesDialog.h"
#include "ImportController.h"
#include "MotorLibrary.h"
#include "OverviewPage.h"
#include "PageStyle.h"
#include "ProjectStore.h"
#include "Prompts.h"
#include "PublishAddresses.h"
#include "PublishButton.h"
#include "PublishChanges.h"
#include "QtText.h"
#include "RecentFiles.h"
#include "Recovery.h"
#include "Sheet.h"
#include "SidebarWidget.h"
#include "SourcePage.h"
#include "WelcomePage.h"
#include "base/Date.h"
#include "base/File.h"
#include "base/Text.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineView>

#include <algorithm>

namespace rig::app {

using style::Tone;

namespace {

enum Page { pageWelcome = 0, pageEdit = 1, pageCrew = 2 };

enum ExportItem { riggingPDF, csv, dxf, crewPDF };

// Qt reads "[*]" in a window title as the modified mark; a project name is shown as it is.
QString plainWindowTitle(QString title) {
    return title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

// Local files among the dragged items, in their order.
QList<QUrl> localFiles(const QMimeData* mime) {
    QList<QUrl> files;
    if (!mime || !mime->hasUrls()) return files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) files.push_back(url);
    return files;
}

// The question before quitting while the PDFs `files` print and, when `publishing`, a
// publish runs: its message and detail.
std::pair<QString, QString> runningWorkQuestion(const QStringList& files, bool publishing) {
    QStringList names;
    for (const QString& file : files)
        names << QStringLiteral("“%1”").arg(shownName(QFileInfo(file).fileName()));
    const bool one = names.size() == 1;
    const QString written =
        (one ? names.front() + QStringLiteral(" is") : QStringLiteral("%1 PDF files are").arg(names.size())) +
        QStringLiteral(" still being written");
    QString message;
    QString lost =
        one ? QStringLiteral("the file is not written") : QStringLiteral("these files are not written");
    const QString crew = QStringLiteral("the crew may not get the new crew view or its download files");
    if (!publishing) {
        message = QStringLiteral("Quit while %1?").arg(written);
    } else if (names.isEmpty()) {
        message = QStringLiteral("Quit while the crew link is still being published?");
        lost = crew;
    } else {
        message = QStringLiteral("Quit while %1 and the crew link is being published?").arg(written);
        lost += QStringLiteral(" and ") + crew;
    }
    QString detail = one ? QString() : names.join(QLatin1Char('\n'));
    if (!detail.isEmpty()) detail += QStringLiteral("\n\n");
    detail += QStringLiteral("Quorvane Rig can finish first and then quit by itself. If you quit now, %1.")
                  .arg(lost);
    return {message, detail};
}

// The line between the sidebar and the detail. Painted here rather than by a style sheet:
// a style sheet on the splitter would restyle every page inside it.
class LineHandle : public QSplitterHandle {
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), style::withAlpha(style::color(Tone::primary, palette()), 0.18));
    }
};

class LineSplitter : public QSplitter {
public:
    using QSplitter::QSplitter;

protected:
    QSplitterHandle* createHandle() override { return new LineHandle(orientation(), this); }
};

} // namespace

// The outline drawn over the content while files are dragged over the window.

class DropOverlay : public QWidget {
public:
    explicit DropOverlay(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()).adjusted(4 + 1.5, 4 + 1.5, -4 - 1.5, -4 - 1.5), 10, 10);
        p.setPen(QPen(style::color(Tone::accent, palette()), 3));
        p.drawPath(path);
    }
};

// The crew preview's area: the view fills it (wide), or sits in a 390 × 844 rounded frame
// with 20 of margin on the under-page colour (phone).
class CrewArea : public QWidget {
public:
    static constexpr int phoneWidth = 390;
    static constexpr int phoneHeight = 844;
    static constexpr int margin = 20;
    static constexpr qreal radius = 28;

    explicit CrewArea(QWidget* parent = nullptr) : QWidget(parent) {}

    void setView(QWidget* view) {
        view_ = view;
        if (view_->parentWidget() != this) view_->setParent(this);
        view_->show();
        place();
    }

    void setPhone(bool phone) {
        if (phone == phone_) return;
        phone_ = phone;
        setMinimumSize(phone ? QSize(phoneWidth + 2 * margin, phoneHeight + 2 * margin) : QSize(0, 0));
        place();
        update();
    }
    bool isPhone() const { return phone_; }

    QRect phoneRect() const {
        return {(width() - phoneWidth) / 2, (height() - phoneHeight) / 2, phoneWidth, phoneHeight};
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        place();
    }

    void paintEvent(QPaintEvent*) override {
        if (!phone_) return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), underPage());
        QPainterPath frame;
        frame.addRoundedRect(QRectF(phoneRect()).adjusted(-3, -3, 3, 3), radius + 3, radius + 3);
        p.setPen(QPen(style::withAlpha(style::color(Tone::secondary, palette()), 0.4), 6));
        p.drawPath(frame);
    }

private:
    QColor underPage() const {
        const QColor window = palette().color(QPalette::Window);
        return style::isDark(palette()) ? window.darker(135) : window.darker(112);
    }

    void place() {
        if (!view_) return;
        if (!phone_) {
            view_->clearMask();
            view_->setGeometry(rect());
            return;
        }
        const QRect r = phoneRect();
        view_->setGeometry(r);
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(0, 0, r.width(), r.height()), radius, radius);
        view_->setMask(QRegion(rounded.toFillPolygon().toPolygon()));
    }

    QPointer<QWidget> view_;
    bool phone_ = false;
};

// --- Construction -------------------------------------------------------------------------

MainWindow::MainWindow(ProjectStore& store, MotorLibrary& motors, Parts parts, QWidget* parent)
    : QMainWindow(parent), store_(store), motors_(motors), parts_(std::move(parts)) {
    setObjectName(QStringLiteral("main"));
    setMinimumSize(minimumWidth, minimumHeight);
    resize(1180, 780);
    setUnifiedTitleAndToolBarOnMac(true);

    auto* central = new QWidget;
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    stack_ = new QStackedWidget;
    centralLayout->addWidget(stack_);
    setCentralWidget(central);

    stack_->insertWidget(pageWelcome, new WelcomePage(store_));

    editView_ = new LineSplitter(Qt::Horizontal);
    editView_->setChildrenCollapsible(false);
    editView_->setHandleWidth(1);
    sidebar_ = new SidebarWidget(store_);
    detail_ = new QStackedWidget;
    editView_->addWidget(sidebar_);
    editView_->addWidget(detail_);
    editView_->setStretchFactor(0, 0);
    editView_->setStretchFactor(1, 1);
    editView_->setSizes({SidebarWidget::idealColumnWidth, 1180 - SidebarWidget::idealColumnWidth});
    stack_->insertWidget(pageEdit, editView_);
    connect(sidebar_, &SidebarWidget::selectionChanged, this,
            [this](std::optional<Selection> selection) { setSelection(std::move(selection)); });

    crewScroll_ = new QScrollArea;
    crewScroll_->setFrameShape(QFrame::NoFrame);
    crewScroll_->setWidgetResizable(true);
    crewArea_ = new CrewArea;
    crewScroll_->setWidget(crewArea_);
    stack_->insertWidget(pageCrew, crewScroll_);

    dropOverlay_ = new DropOverlay(central);

    fillDefaultParts();
    buildMenus();
    buildToolbar();
    restyle();

    connect(&store_, &ProjectStore::changesToShow, this, &MainWindow::updateContent);
    connect(&store_, &ProjectStore::windowTitleChanged, this, &MainWindow::updateTitle);
    connect(&store_.importer(), &ImportController::importingChanged, this, &MainWindow::updateToolbar);
    connect(&store_.importer(), &ImportController::importChangesChanged, this,
            &MainWindow::schedulePresentation);
    connect(&store_, &ProjectStore::errorMessageChanged, this, [this] {
        // A failure reported while a quit waits for running work stops that quit: the user
        // reads why and decides, whatever ends first, the work or the alert.
        if (store_.errorMessage()) setQuitWhenDone(false);
        schedulePresentation();
    });
    if (parts_.exports)
        connect(parts_.exports, &ExportCommands::pdfsPrintingChanged, this, &MainWindow::scheduleWorkCheck);
    connect(&store_.crewLink(), &CrewLink::pressingChanged, this, &MainWindow::scheduleWorkCheck);

    presentRetry_.setSingleShot(true);
    presentRetry_.setInterval(250);
    connect(&presentRetry_, &QTimer::timeout, this, &MainWindow::presentNext);

    // Files dropped on any child (a line edit, the crew view) come to the window instead.
    setAcceptDrops(true);
    qApp->installEventFilter(this);

    updateContent();
    schedulePresentation();
}

// Without parts given: the crew preview as a web view, the overview on the program's exports.
void MainWindow::fillDefaultParts() {
    if (!parts_.crewPreview.create) {
        parts_.crewPreview.create = [](const CrewDoc& doc, bool split, QWidget* parent) -> QWidget* {
            auto* view = new CrewWebView(doc, split, parent);
            // A file dropped on the page would open in it: the window takes drops.
            view->view()->setAcceptDrops(false);
            // The first frames of a web view added to a window already on screen can be lost
            // while the window starts compositing it: draw the view again once it has loaded.
            QObject::connect(view, &CrewWebView::loaded, view, [view] {
                for (int ms : {100, 500, 1500})
                    QTimer::singleShot(ms, view, [view] { view->view()->update(); });
            });
            return view;
        };
        parts_.crewPreview.show = [](QWidget* view, const CrewDoc& doc, bool split) {
            static_cast<CrewWebView*>(view)->setDocument(doc, split);
        };
    }
    if (!parts_.overview) {
        parts_.overview = [this] { return new OverviewPage(store_, motors_, *parts_.exports); };
    }
}

MainWindow::~MainWindow() {
    if (sheet_) delete sheet_.data();
}

SourcePage* MainWindow::sourcePage() const {
    return sourcePage_.data();
}

ImportChangesDialog* MainWindow::changesSheet() const {
    return sheet_.data();
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));

    actions_.newProject =
        file->addAction(QStringLiteral("New Project"), this, [this] { store_.newProject(); });
    actions_.newProject->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    actions_.open = file->addAction(QStringLiteral("Open…"), this, [this] { store_.showOpenPanel(); });
    actions_.open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    actions_.openRecent = file->addMenu(QStringLiteral("Open Recent"));
    connect(actions_.openRecent, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
    // A submenu that was shown empty may never open again: it is rebuilt whenever the list
    // changes, and disabled while the list is empty so that it never shows empty.
    connect(&store_.recentFiles(), &RecentFiles::changed, this, &MainWindow::fillRecentMenu);
    fillRecentMenu();
    file->addSeparator();
    actions_.import = file->addAction(QStringLiteral("Import Soundvision Files…"), this,
                                      [this] { store_.importer().showImportPanel(); });
    actions_.import->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));

    file->addSeparator();
    actions_.save = file->addAction(QStringLiteral("Save"), this, [this] {
        if (const auto path = store_.filePath()) {
            store_.writeProject(*path);
        } else {
            store_.saveProject();
        }
    });
    actions_.save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    actions_.saveAs = file->addAction(QStringLiteral("Save As…"), this, [this] { store_.saveProject(); });
    actions_.saveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));

    file->addSeparator();
    actions_.exportRiggingPDF = file->addAction(QStringLiteral("Export Rigging Points PDF…"), this,
                                                [this] { runExport(riggingPDF); });
    actions_.exportCSV =
        file->addAction(QStringLiteral("Export Rigging Points CSV…"), this, [this] { runExport(csv); });
    actions_.exportDXF =
        file->addAction(QStringLiteral("Export Rigging Points DXF (3D)…"), this, [this] { runExport(dxf); });
    actions_.exportCrewPDF =
        file->addAction(QStringLiteral("Export Crew Sheets PDF…"), this, [this] { runExport(crewPDF); });

    file->addSeparator();
    actions_.settings = file->addAction(QStringLiteral("Settings…"), this, [this] {
        if (parts_.openSettings) parts_.openSettings();
    });
    // GNOME gives QKeySequence::Preferences no key.
    actions_.settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    actions_.settings->setMenuRole(QAction::PreferencesRole);
    file->addSeparator();
    actions_.quit = file->addAction(QStringLiteral("Quit"), this, [this] { close(); });
    actions_.quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // Also from the settings window: the program ends from wherever the user is.
    actions_.quit->setShortcutContext(Qt::ApplicationShortcut);
    actions_.quit->setMenuRole(QAction::QuitRole);
}

void MainWindow::fillRecentMenu() {
    QMenu* menu = actions_.openRecent;
    menu->clear();
    const QStringList recent = store_.recentFiles().list();
    for (const QString& path : recent) {
        // The file name as it is: "&" is no mnemonic.
        QAction* item = menu->addAction(form::buttonText(shownName(QFileInfo(path).completeBaseName())));
        item->setToolTip(form::plainToolTip(shownName(path)));
        connect(item, &QAction::triggered, this, [this, path] { store_.openProject(path, true); });
    }
    if (!recent.isEmpty()) {
        menu->addSeparator();
        menu->addAction(QStringLiteral("Clear Menu"), this, [this] { store_.recentFiles().clear(); });
    }
    menu->menuAction()->setEnabled(!recent.isEmpty());
}

void MainWindow::buildToolbar() {
    QToolBar* bar = addToolBar(QStringLiteral("Toolbar"));
    toolbar_.bar = bar;
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setIconSize(QSize(16, 16));

    // A row of exclusive buttons that reads as one control.
    auto segmented = [this](QButtonGroup* group, const QStringList& labels, int width) {
        auto* box = new QWidget;
        auto* row = new QHBoxLayout(box);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        for (int i = 0; i < labels.size(); ++i) {
            auto* button = new QPushButton(labels[i]);
            button->setCheckable(true);
            button->setFocusPolicy(Qt::TabFocus);
            if (width > 0) button->setFixedWidth(width / int(labels.size()));
            button->setProperty("segment", i == 0 ? "first" : i + 1 == labels.size() ? "last" : "middle");
            group->addButton(button, i);
            row->addWidget(button);
            segments_.push_back(button);
        }
        group->setExclusive(true);
        return box;
    };

    // The mode switch sits in the middle of the bar, the other items at its end: two equal
    // outer columns keep the middle one centred.
    auto* row = new QWidget;
    row->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* grid = new QGridLayout(row);
    grid->setContentsMargins(4, 0, 4, 0);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    bar->addWidget(row);

    toolbar_.modes = new QButtonGroup(this);
    toolbar_.modeSwitch = segmented(toolbar_.modes, {modeLabel(Mode::edit), modeLabel(Mode::crew)}, 200);
    toolbar_.modeSwitch->setAccessibleName(QStringLiteral("Mode"));
    grid->addWidget(toolbar_.modeSwitch, 0, 1);
    connect(toolbar_.modes, &QButtonGroup::idClicked, this, [this](int id) { setMode(Mode(id)); });

    auto* trailing = new QHBoxLayout;
    trailing->setSpacing(6);
    trailing->addStretch(1);
    grid->addLayout(trailing, 0, 2);

    toolbar_.sizes = new QButtonGroup(this);
    toolbar_.sizeSwitch = segmented(toolbar_.sizes, {QStringLiteral("Wide"), QStringLiteral("Phone")}, 0);
    toolbar_.sizeSwitch->setAccessibleName(QStringLiteral("Size"));
    trailing->addWidget(toolbar_.sizeSwitch);
    connect(toolbar_.sizes, &QButtonGroup::idClicked, this, [this](int id) { setPhoneSize(id == 1); });

    toolbar_.publish = new PublishButton(store_);
    trailing->addWidget(toolbar_.publish);

    toolbar_.copyLink = new QToolButton;
    toolbar_.copyLink->setText(QStringLiteral("Copy Link"));
    toolbar_.copyLink->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar_.copyLink->setAutoRaise(true);
    toolbar_.copyLink->setIcon(tintedIcon(QStringLiteral("doc.on.doc"), QPalette::ButtonText));
    trailing->addWidget(toolbar_.copyLink);
    connect(toolbar_.copyLink, &QToolButton::clicked, this, [this](bool) { copyLink(); });

    toolbar_.finishing = new QLabel(QStringLiteral("Finishing, then quitting…"));
    toolbar_.finishing->setTextFormat(Qt::PlainText);
    trailing->addWidget(toolbar_.finishing);

    toolbar_.progress = new BusyIndicator(16);
    trailing->addWidget(toolbar_.progress);
}

// --- State ----------------------------------------------------------------------------

void MainWindow::setMode(Mode mode) {
    if (mode == view_.mode) return;
    view_.mode = mode;
    emit modeChanged();
    updateContent();
}

void MainWindow::setPhoneSize(bool phone) {
    if (phone == view_.phoneSize) return;
    view_.phoneSize = phone;
    emit phoneSizeChanged();
    updateContent();
}

void MainWindow::setSelection(std::optional<Selection> selection) {
    if (selection == view_.selection) return;
    view_.selection = std::move(selection);
    sidebar_->setSelection(view_.selection);
    emit selectionChanged();
    updateContent();
}

void MainWindow::devSelect(const std::optional<QString>& step) {
    const WindowView next = applyDevSelect(view_, step);
    const bool modeChange = next.mode != view_.mode;
    const bool sizeChange = next.phoneSize != view_.phoneSize;
    const bool selectionChange = next.selection != view_.selection;
    view_ = next;
    sidebar_->setSelection(view_.selection);
    if (modeChange) emit modeChanged();
    if (sizeChange) emit phoneSizeChanged();
    if (selectionChange) emit selectionChanged();
    updateContent();
}

// --- Updates ----------------------------------------------------------------------------

void MainWindow::updateContent() {
    const WindowContent content = windowContent(store_.project(), view_.mode);
    const bool contentChange = content != content_;
    content_ = content;
    switch (content_) {
    case WindowContent::welcome:
        stack_->setCurrentIndex(pageWelcome);
        break;
    case WindowContent::edit:
        updateDetail();
        stack_->setCurrentIndex(pageEdit);
        break;
    case WindowContent::crew:
        // Shown first: the crew view is made inside a visible page.
        stack_->setCurrentIndex(pageCrew);
        updateCrew();
        break;
    }
    updateToolbar();
    updateTitle();
    const bool empty = store_.project().isEmpty();
    for (QAction* item :
         {actions_.exportRiggingPDF, actions_.exportCSV, actions_.exportDXF, actions_.exportCrewPDF}) {
        item->setEnabled(!empty);
    }
    if (contentChange) emit contentChanged();
}

void MainWindow::updateDetail() {
    const Project& project = store_.project();
    const std::optional<std::size_t> index = detailSource(project, view_.selection);
    if (index) {
        const Source& source = project.report.sources[*index];
        const std::string id = source.id();
        // A page of its own for each source shown: its state starts anew.
        if (!sourcePage_ || !sourcePageID_ || !textEqual(*sourcePageID_, id)) {
            if (sourcePage_) {
                detail_->removeWidget(sourcePage_);
                sourcePage_->deleteLater();
            }
            sourcePage_ = new SourcePage(store_, motors_, source);
            sourcePageID_ = id;
            detail_->addWidget(sourcePage_);
        }
        detail_->setCurrentWidget(sourcePage_);
        return;
    }
    if (sourcePage_) {
        detail_->removeWidget(sourcePage_);
        sourcePage_->deleteLater();
        sourcePage_ = nullptr;
    }
    sourcePageID_.reset();
    if (!overview_) {
        overview_ = parts_.overview();
        detail_->addWidget(overview_);
    }
    detail_->setCurrentWidget(overview_);
}

void MainWindow::updateCrew() {
    // What a publish would send now: hidden sources left out, changes since the last publish.
    const Project& project = store_.project();
    const CrewDoc doc = CrewDoc::build(project, publishChangeSummary(project), nowSeconds(), false);
    const bool split = !view_.phoneSize;
    if (!crewView_) {
        // Made at its final size: a page first laid out at no size stays blank.
        crewArea_->resize(crewScroll_->viewport()->size().expandedTo(crewArea_->minimumSize()));
        crewView_ = parts_.crewPreview.create(doc, split, crewArea_);
        crewView_->setAcceptDrops(false);
        crewArea_->setView(crewView_);
    } else {
        parts_.crewPreview.show(crewView_, doc, split);
    }
    crewArea_->setPhone(view_.phoneSize);
}

void MainWindow::updateToolbar() {
    const Project& project = store_.project();
    const bool empty = project.isEmpty();
    toolbar_.modeSwitch->setVisible(!empty);
    if (QAbstractButton* button = toolbar_.modes->button(int(view_.mode))) button->setChecked(true);
    toolbar_.sizeSwitch->setVisible(!empty && view_.mode == Mode::crew);
    if (QAbstractButton* button = toolbar_.sizes->button(view_.phoneSize ? 1 : 0)) button->setChecked(true);
    toolbar_.publish->setVisible(!empty);
    toolbar_.copyLink->setVisible(!empty);
    const bool published = project.share.has_value();
    const bool valid = storedCrewLink(project).has_value();
    toolbar_.copyLink->setEnabled(valid);
    toolbar_.copyLink->setToolTip(!published ? QStringLiteral("Publish first")
                                  : valid    ? QStringLiteral("Copy the crew link")
                                             : QStringLiteral("The crew link is not a valid https address"));
    toolbar_.finishing->setVisible(quitWhenDone_);
    toolbar_.progress->setVisible(store_.importer().importing() || quitWhenDone_);
    // The welcome page has no toolbar items: an empty strip would sit above it.
    toolbar_.bar->setVisible(!empty || store_.importer().importing() || quitWhenDone_);
}

void MainWindow::updateTitle() {
    setWindowTitle(plainWindowTitle(store_.windowTitle()));
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !restyling_) restyle();
}

// Colours that come from the palette, set again when it changes (light, dark, system).
void MainWindow::restyle() {
    restyling_ = true;
    const QPalette p = palette();
    // Segmented switches: the chosen segment in the highlight colour, the edge of every segment
    // as other controls' (a dark highlight alone would hardly stand out from a dark toolbar).
    const QString border = style::controlOutline(p).name();
    const QString sheet =
        QStringLiteral(
            "QPushButton { border: 1px solid %1; background: %2; color: %3; padding: 3px 12px; }"
            "QPushButton:checked { background: %4; color: %5; }"
            "QPushButton[segment=\"first\"] { border-top-left-radius: 5px; border-bottom-left-radius: 5px; }"
            "QPushButton[segment=\"last\"] { border-top-right-radius: 5px; border-bottom-right-radius: 5px;"
            " border-left: none; }"
            "QPushButton[segment=\"middle\"] { border-left: none; }")
            .arg(border, p.color(QPalette::Button).name(), p.color(QPalette::ButtonText).name(),
                 p.color(QPalette::Highlight).name(), p.color(QPalette::HighlightedText).name());
    for (QPushButton* segment : segments_) segment->setStyleSheet(sheet);
    restyling_ = false;
}

// --- Actions ----------------------------------------------------------------------------

void MainWindow::runExport(int kind) {
    // A copy of the project as it is when the command runs.
    const Project project = store_.project();
    if (project.isEmpty()) return;
    ExportCommands& exports = *parts_.exports;
    switch (kind) {
    case csv:
        exports.exportCSV(project);
        break;
    case dxf:
        exports.exportDXF(project);
        break;
    case riggingPDF:
        exports.exportPDF(project, false);
        break;
    case crewPDF:
        exports.exportPDF(project, true);
        break;
    }
}

void MainWindow::copyLink() {
    if (!storedCrewLink(store_.project())) return;
    QApplication::clipboard()->setText(toQ(store_.project().share->url));
}

// --- Closing ----------------------------------------------------------------------------

namespace {
// The running work a quit waits for changes only the crew link (a publish storing its link,
// a re-send its hidden sources); anything else is an edit of the user's.
bool sameApartFromCrewLink(Project a, Project b) {
    a.share.reset();
    b.share.reset();
    return a == b;
}
} // namespace

bool MainWindow::saveAnswerHolds() {
    if (!saveAnswered_ || saveAnswered_->generation != store_.generation()) return false;
    if (saveAnswered_->revision == store_.revision()) return true;
    if (!sameApartFromCrewLink(saveAnswered_->project, store_.project())) return false;
    // A publish answered since: its link is kept as the rest was.
    if (!keepWork()) return false;
    rememberSaveAnswer();
    return true;
}

void MainWindow::rememberSaveAnswer() {
    saveAnswered_ = SaveAnswered{store_.generation(), store_.revision(), store_.project()};
}

bool MainWindow::keepWork() {
    if (!store_.isDirty()) return true;
    if (const auto path = store_.filePath()) return store_.writeProject(*path);
    if (store_.project().isEmpty()) return true;
    // Only a copy that was written counts; otherwise the quit asks.
    return !store_.recovery().writeCopyNow();
}

bool MainWindow::confirmQuit() {
    if (saveAnswerHolds()) return true;
    if (!store_.confirmDiscardChanges(true)) return false;
    rememberSaveAnswer();
    return true;
}

bool MainWindow::confirmRunningWork() {
    // "Quit Now" was the answer of this quit already.
    if (quitNow_ || !hasRunningWork()) return true;
    const QStringList files = parts_.exports ? parts_.exports->pdfsPrinting() : QStringList();
    const auto [message, detail] = runningWorkQuestion(files, store_.crewLink().isPressing());
    switch (prompts().askToQuitWhileRunning(message, detail)) {
    case Prompts::QuitAnswer::finishFirst:
        setQuitWhenDone(true);
        // It may have ended while the question was open.
        scheduleWorkCheck();
        return false;
    case Prompts::QuitAnswer::quitNow:
        quitNow_ = true;
        return true;
    case Prompts::QuitAnswer::cancel:
        setQuitWhenDone(false);
        return false;
    }
    return false;
}

bool MainWindow::hasRunningWork() const {
    return (parts_.exports && !parts_.exports->pdfsPrinting().isEmpty()) || store_.crewLink().isPressing();
}

void MainWindow::setQuitWhenDone(bool quit) {
    if (quit == quitWhenDone_) return;
    quitWhenDone_ = quit;
    updateToolbar();
    emit quitsWhenDoneChanged();
}

void MainWindow::scheduleWorkCheck() {
    if (!quitWhenDone_ || workCheckQueued_) return;
    workCheckQueued_ = true;
    // Queued: whoever ended the work reports its outcome first (a failure message, say).
    QTimer::singleShot(0, this, [this] {
        workCheckQueued_ = false;
        quitIfWorkDone();
    });
}

void MainWindow::quitIfWorkDone() {
    if (!quitWhenDone_ || hasRunningWork()) return;
    // Never from under a dialog or panel the user has open: once it has closed.
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(250, this, &MainWindow::scheduleWorkCheck);
        return;
    }
    setQuitWhenDone(false);
    // A PDF not written or download files not uploaded: the user reads why and decides.
    if (store_.errorMessage() || presenting_) return;
    // What the work changed (a new crew link, say) is kept as the answers given before were.
    keepWorkWithoutAsking();
    close();
}

void MainWindow::keepWorkWithoutAsking() {
    // The close that follows drops running work: the session ends.
    quitNow_ = true;
    if (keepWork()) rememberSaveAnswer();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Unsaved work, then work still running, are asked about after this handler has
    // returned, never in a modal loop inside it; "Cancel" then keeps the window open with
    // everything as it was, since a program without its window would hold the work out of
    // reach.
    const bool unsaved = store_.isDirty() && !saveAnswerHolds();
    if (unsaved || (!quitNow_ && hasRunningWork())) {
        event->ignore();
        if (!closeQuestionQueued_) {
            closeQuestionQueued_ = true;
            QTimer::singleShot(0, this, [this] {
                closeQuestionQueued_ = false;
                if (confirmQuit() && confirmRunningWork()) {
                    close();
                } else {
                    quitNow_ = false; // this quit is over
                }
            });
        }
        return;
    }
    quitNow_ = false;
    setQuitWhenDone(false);
    event->accept();
    emit closed();
}

// --- Drops ------------------------------------------------------------------------------

void MainWindow::setDropTarget(bool target) {
    if (target == dropTarget_) return;
    dropTarget_ = target;
    if (target) {
        dropOverlay_->setGeometry(dropOverlay_->parentWidget()->rect());
        dropOverlay_->raise();
        dropOverlay_->show();
    } else {
        dropOverlay_->hide();
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop: {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) return handleDrag(event);
        return false;
    }
    default:
        return false;
    }
}

// Every child would take the drop its own way (a line edit inserts the path, a web view
// opens the file): dragged files and links belong to the window.
bool MainWindow::handleDrag(QEvent* event) {
    if (event->type() == QEvent::DragLeave) {
        setDropTarget(false);
        return false;
    }
    auto* drop = static_cast<QDropEvent*>(event);
    const QMimeData* mime = drop->mimeData();
    if (!mime || !mime->hasUrls()) return false; // plain text and the like: the child's own
    const QList<QUrl> files = localFiles(mime);
    if (files.isEmpty()) {
        drop->setDropAction(Qt::IgnoreAction);
        drop->ignore();
        return true;
    }
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        setDropTarget(true);
        return true;
    case QEvent::Drop:
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        setDropTarget(false);
        // A project document may bring the save prompt: asked once the drop has returned, so
        // that no modal loop runs inside the file manager's drag.
        if (std::any_of(files.begin(), files.end(), isProjectDocument)) {
            QMetaObject::invokeMethod(
                this, [this, files] { store_.importer().handleURLs(files); }, Qt::QueuedConnection);
        } else {
            store_.importer().handleURLs(files);
        }
        return true;
    default:
        return false;
    }
}

// --- The sheet and the alert --------------------------------------------------------------

void MainWindow::schedulePresentation() {
    if (presentationQueued_) return;
    presentationQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        presentationQueued_ = false;
        presentNext();
    });
}

void MainWindow::presentNext() {
    if (presenting_) return; // the open one calls again when it closes
    if (!store_.importer().importChanges() && !store_.errorMessage()) return;
    // Never over another dialog or panel: wait until it has closed.
    if (QApplication::activeModalWidget()) {
        presentRetry_.start();
        return;
    }
    if (const auto changes = store_.importer().importChanges()) {
        presenting_ = true;
        sheet_ = new ImportChangesDialog(*changes, this);
        prepareSheet(sheet_, this, [this, shown = *changes] {
            presenting_ = false;
            // A newer list that arrived meanwhile is shown next.
            if (store_.importer().importChanges() == shown) store_.importer().setImportChanges(std::nullopt);
            schedulePresentation();
        });
        sheet_->open();
        return;
    }
    if (const auto message = store_.errorMessage()) {
        presenting_ = true;
        CrewLink& crewLink = store_.crewLink();
        // A link the server no longer knows fails every update alike: offer a new one.
        const bool offered = crewLink.newLinkOffer() == message;
        bool chosen = false;
        if (offered) {
            chosen = prompts().showAlertOffering(*message, QStringLiteral("Publish Under a New Link"));
        } else {
            prompts().showAlert(*message);
        }
        presenting_ = false;
        const std::optional<QString> now = store_.errorMessage();
        if (now == message) {
            store_.setErrorMessage(std::nullopt);
        } else if (now && now->startsWith(*message + QLatin1Char('\n'))) {
            // Lines added while it showed are shown next, without the ones read.
            store_.setErrorMessage(now->mid(message->size() + 1));
        }
        // After the clearing: the new press may fail with the same words.
        if (offered) crewLink.answerNewLinkOffer(chosen);
        schedulePresentation();
    }
}

} // namespace rig::app
