#include "WelcomePage.h"

#include "BusyIndicator.h"
#include "FormLayout.h"
#include "IconLabel.h"
#include "ImportController.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "RecentFiles.h"
#include "ToneLabel.h"

#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QVBoxLayout>

namespace rig::app {

using style::Tone;
using style::ToneLabel;

namespace {

// A recent project: its name in the link colour, underlined under the mouse. Painted here so
// the colour follows a change of appearance (a style sheet keeps the colour it was made with).
class LinkButton : public QPushButton {
public:
    // A file name is shown as it is: "&" is no mnemonic.
    explicit LinkButton(const QString& title) : QPushButton(form::buttonText(title)) {
        setFlat(true);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setAttribute(Qt::WA_Hover);
        setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override { return fontMetrics().size(Qt::TextShowMnemonic, text()) + QSize(4, 2); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave) update();
        return QPushButton::event(event);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QFont f = font();
        f.setUnderline(underMouse());
        p.setFont(f);
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Link));
        // Shows "&&" as the one character of the file name.
        p.drawText(rect().adjusted(2, 1, -2, -1), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                   text());
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
        }
    }
};

} // namespace

QString WelcomePage::recentTitle(const QString& path) {
    return shownName(QFileInfo(path).completeBaseName());
}

WelcomePage::WelcomePage(ProjectStore& store, QWidget* parent) : QWidget(parent), store_(store) {
    auto* outer = new QVBoxLayout(this);
    outer->addStretch(1);
    auto* centre = new QHBoxLayout;
    outer->addLayout(centre);
    outer->addStretch(1);

    auto* column = new QVBoxLayout;
    column->setSpacing(18);
    centre->addStretch(1);
    centre->addLayout(column);
    centre->addStretch(1);

    auto centred = [&](QWidget* w) { column->addWidget(w, 0, Qt::AlignHCenter); };

    // 54 pt of the system font: about 72 px at 96 dpi.
    centred(new IconLabel(QStringLiteral("speaker.wave.3"), Tone::secondary, 72));

    auto* name = new ToneLabel(QStringLiteral("Quorvane Rig"), Tone::primary);
    name->setFont(style::largeTitleFont());
    centred(name);

    auto* purpose =
        new ToneLabel(QStringLiteral("Rigging sheets from L-Acoustics Soundvision reports"), Tone::secondary);
    purpose->setFont(style::title3Font());
    centred(purpose);

    auto* drop = new ToneLabel(QStringLiteral("Drop Soundvision files here"), Tone::primary);
    drop->setFont(style::bold(style::title2Font()));
    drop->setContentsMargins(0, 10, 0, 0);
    centred(drop);

    centred(new ToneLabel(QStringLiteral("Report (PDF) · Inventory export (CSV) · Loudspeaker export (DXF)"),
                          Tone::secondary));

    centred(buildButtons());
    column->addWidget(buildRecentBlock(), 0, Qt::AlignHCenter);

    progress_ = new QWidget;
    auto* progressRow = new QHBoxLayout(progress_);
    progressRow->setContentsMargins(0, 0, 0, 0);
    progressRow->addWidget(new BusyIndicator(16));
    progressRow->addWidget(new ToneLabel(QStringLiteral("Reading files…"), Tone::primary));
    centred(progress_);

    column->addSpacing(20);
    auto* footer = new ToneLabel(
        QStringLiteral("Not affiliated with L-Acoustics. Soundvision is a trademark of L-Acoustics."),
        Tone::tertiary);
    footer->setFont(style::captionFont());
    centred(footer);

    connect(&store_.recentFiles(), &RecentFiles::changed, this, &WelcomePage::updateRecent);
    connect(&store_.importer(), &ImportController::importingChanged, this, &WelcomePage::updateProgress);
    updateRecent();
    updateProgress();
}

// "Import Files…" (the default) and "Open Project…".
QWidget* WelcomePage::buildButtons() {
    auto* buttons = new QWidget;
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    import_ = new QPushButton(QStringLiteral("Import Files…"));
    import_->setDefault(true);
    open_ = new QPushButton(QStringLiteral("Open Project…"));
    row->addWidget(import_);
    row->addWidget(open_);
    connect(import_, &QPushButton::clicked, this, [this] { store_.importer().showImportPanel(); });
    connect(open_, &QPushButton::clicked, this, [this] { store_.showOpenPanel(); });
    // The window has no default button of its own: Return imports while this page shows.
    for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, import_, &QPushButton::click);
    }
    return buttons;
}

// The recent projects under a "Recent" heading, listed by updateRecent.
QWidget* WelcomePage::buildRecentBlock() {
    recentBlock_ = new QWidget;
    auto* recent = new QVBoxLayout(recentBlock_);
    recent->setContentsMargins(0, 10, 0, 0);
    recent->setSpacing(4);
    auto* heading = new ToneLabel(QStringLiteral("Recent"), Tone::secondary);
    heading->setFont(style::captionFont());
    recent->addWidget(heading);
    recentList_ = new QVBoxLayout;
    recentList_->setSpacing(4);
    recent->addLayout(recentList_);
    return recentBlock_;
}

void WelcomePage::updateRecent() {
    for (QPushButton* button : recentButtons_) delete button;
    recentButtons_.clear();
    const QStringList recent = store_.recentFiles().list();
    for (int i = 0; i < recent.size() && i < recentShown; ++i) {
        const QString path = recent[i];
        auto* button = new LinkButton(recentTitle(path));
        button->setToolTip(form::plainToolTip(shownName(path)));
        connect(button, &QPushButton::clicked, this, [this, path] { store_.openProject(path, true); });
        recentList_->addWidget(button, 0, Qt::AlignLeft);
        recentButtons_.push_back(button);
    }
    recentBlock_->setVisible(!recent.isEmpty());
}

void WelcomePage::updateProgress() {
    progress_->setVisible(store_.importer().importing());
}

} // namespace rig::app
