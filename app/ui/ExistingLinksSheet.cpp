#include "ExistingLinksSheet.h"

#include "CrewLink.h"
#include "DateText.h"
#include "DeferredDeletion.h"
#include "FormLayout.h"
#include "PageStyle.h"
#include "ProjectStore.h"
#include "Prompts.h"
#include "PublishAddresses.h"
#include "PublishClient.h"
#include "QtText.h"
#include "RowBlocks.h"
#include "Symbols.h"
#include "WebLinks.h"
#include "base/Number.h"
#include "base/Text.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace rig::app {

namespace {

using style::Tone;

// Characters of a link that the delete question quotes.
constexpr std::size_t linkPieceLength = 200;

// Rows built in one go; the next block waits for the event loop.
constexpr qsizetype rowsPerBlock = 100;

} // namespace

QString linkDateText(double updatedAt) {
    if (!linkUpdateTime(updatedAt)) return QStringLiteral("?");
    return formatShortDateTime(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(updatedAt), Qt::UTC));
}

QString linkDetailText(const ServerLink& link) {
    return QStringLiteral("Updated ") + linkDateText(link.updatedAt) + QStringLiteral(" \u00b7 ") +
           toQ(integerText(link.sources)) + QStringLiteral(" sources \u00b7 ") + shownName(link.report);
}

QString linkTitle(const ServerLink& link) {
    return link.name.empty() ? QStringLiteral("Untitled") : shownName(link.name);
}

ExistingLinksSheet::ExistingLinksSheet(ProjectStore& store, QWidget* parent)
    : QDialog(parent), store_(store), builder_(store, [this] { return buildRows(); }) {
    setObjectName(QStringLiteral("existingLinksSheet"));
    setWindowTitle(QStringLiteral("Crew links on the server"));
    setFixedSize(sheetWidth, sheetHeight);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(12);
    column->addWidget(form::label(QStringLiteral("Crew links on the server"), Tone::primary,
                                  style::bold(style::title2Font())));
    auto* explanation =
        form::label(QStringLiteral("Choose the link the crew already has. \u201cUpdate link\u201d "
                                   "then sends this project to it \u2013 the WhatsApp link stays "
                                   "the same."),
                    Tone::secondary);
    explanation->setWordWrap(true);
    column->addWidget(explanation);

    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("loading"));
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->setMaximumHeight(6);
    column->addWidget(progress_);

    errorLabel_ = form::label({}, Tone::red);
    errorLabel_->setObjectName(QStringLiteral("error"));
    errorLabel_->setWordWrap(true);
    errorLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(errorLabel_);

    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("linkList"));
    scroll->setWidgetResizable(true);
    scroll->setMinimumHeight(300);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_ = new QWidget;
    listLayout_ = new QVBoxLayout(list_);
    listLayout_->setContentsMargins(10, 4, 10, 4);
    listLayout_->setSpacing(0);
    listLayout_->addStretch(1);
    scroll->setWidget(list_);
    column->addWidget(scroll, 1);

    auto* footer = new QHBoxLayout;
    footer->addStretch(1);
    close_ = new QPushButton(QStringLiteral("Close"));
    close_->setObjectName(QStringLiteral("close"));
    // Escape closes the sheet; Return does not.
    close_->setAutoDefault(false);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    footer->addWidget(close_);
    column->addLayout(footer);

    oldBlocks_ = new DeferredDeletion(this);

    // The "this project" mark and "Use" follow the project's record.
    connect(&store_, &ProjectStore::changesToShow, this, [this] { showState(); });
    showState();
}

ExistingLinksSheet::~ExistingLinksSheet() = default;

void ExistingLinksSheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        loadLinks();
    }
}

void ExistingLinksSheet::done(int result) {
    // Ends the sheet's own loads: their answers are dropped.
    closed_ = true;
    QDialog::done(result);
}

void ExistingLinksSheet::setLoading(bool loading) {
    loading_ = loading;
}

QCoro::Task<void> ExistingLinksSheet::loadLinks() {
    if (closed_) co_return;
    QPointer<ExistingLinksSheet> self(this);
    setLoading(true);
    showState();
    std::optional<std::vector<ServerLink>> result;
    std::optional<QString> failure;
    try {
        result = co_await store_.crewLink().listServerLinks();
    } catch (const std::exception& e) {
        if (isPublishCancellation(e)) co_return;
        failure = publishErrorText(e);
    }
    if (!self || closed_) co_return;
    if (result) {
        links_ = std::move(*result);
        error_.reset();
    } else {
        error_ = failure;
    }
    setLoading(false);
    showState();
    emit loadFinished();
}

void ExistingLinksSheet::useLink(const ServerLink& link) {
    std::size_t index = 0;
    while (index < links_.size() && !(links_[index] == link)) ++index;
    const auto share = attachedShare(link, index);
    if (const QString* why = std::get_if<QString>(&share)) {
        error_ = *why;
        showState();
        return;
    }
    Project project = store_.project();
    project.share = std::get<ShareInfo>(share);
    store_.setProject(std::move(project));
    accept();
}

void ExistingLinksSheet::askToDelete(ServerLink link) {
    QPointer<ExistingLinksSheet> self(this);
    confirmDelete_ = link;
    // The server's link, as long as it may be, by its start: the row shows all of it.
    const bool confirmed = prompts().confirmDeletion(
        QStringLiteral("Delete this link?"),
        shownName(messagePiece(link.url, linkPieceLength)) +
            QStringLiteral("\nAnyone who has it will see \u201cThis link is no longer active\u201d."));
    if (!self) return;
    // However the question ended, it is closed now; rows held back while it was open follow.
    confirmDelete_.reset();
    showState();
    if (confirmed) deleteLink(std::move(link));
}

QCoro::Task<void> ExistingLinksSheet::deleteLink(ServerLink link) {
    QPointer<ExistingLinksSheet> self(this);
    QPointer<ProjectStore> store(&store_);
    std::optional<QString> failure;
    try {
        co_await store_.crewLink().deleteServerLink(toQ(link.token));
    } catch (const std::exception& e) {
        if (isPublishCancellation(e)) co_return;
        failure = publishErrorText(e);
    }
    if (failure) {
        if (self && !closed_) {
            error_ = failure;
            showState();
        }
        co_return;
    }
    // The project forgets its own link, also when the sheet has closed meanwhile.
    if (store && isOwnLink(store->project(), link)) {
        Project project = store->project();
        project.share.reset();
        store->setProject(std::move(project));
    }
    if (self && !closed_) co_await loadLinks();
}

void ExistingLinksSheet::openLink(const ServerLink& link) {
    // A server's link by the rule of every crew link: one with a user part opens another host.
    if (const std::optional<QUrl> url = crewLinkUrl(toQ(link.url))) openWebLink(*url);
}

QList<QWidget*> ExistingLinksSheet::rows() const {
    return rows_;
}

bool ExistingLinksSheet::rowsComplete() const {
    return rows_.size() == qsizetype(shownLinks_.size());
}

void ExistingLinksSheet::showState() {
    progress_->setVisible(loading_);
    errorLabel_->setVisible(error_.has_value());
    if (error_) errorLabel_->updateText(*error_);
    std::optional<std::string> ownToken;
    if (store_.project().share) ownToken = store_.project().share->token;
    // Not while a deletion is being asked about: the question runs its own event loop, and
    // the row whose button asked must stay until it returns.
    if (!confirmDelete_ && (!rowsBuilt_ || shownLinks_ != links_ || shownOwnToken_ != ownToken)) {
        shownLinks_ = links_;
        shownOwnToken_ = ownToken;
        rowsBuilt_ = true;
        rebuildRows();
    }
    // The rows still to come mark this project's link.
    if (!rowsComplete()) builder_.start();
    emit stateChanged();
}

void ExistingLinksSheet::rebuildRows() {
    // The rows shown go a part at a time while the sheet goes on answering.
    for (QWidget* block : blocks_) oldBlocks_->add(block);
    blocks_.clear();
    rows_.clear();
    buildRows();
}

bool ExistingLinksSheet::buildRows() {
    if (rowsComplete()) return false;
    // Built apart from the sheet and shown as a whole.
    auto* block = new QWidget;
    block->setObjectName(QStringLiteral("linkRows"));
    auto* rows = new QVBoxLayout(block);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    const qsizetype end = std::min(qsizetype(shownLinks_.size()), rows_.size() + rowsPerBlock);
    for (qsizetype i = rows_.size(); i < end; ++i) {
        const ServerLink& link = shownLinks_[std::size_t(i)];
        QWidget* row = linkRow(link, i == 0, shownOwnToken_ == link.token);
        rows->addWidget(row);
        rows_.push_back(row);
    }
    listLayout_->insertWidget(listLayout_->count() - 1, block);
    blocks_.push_back(block);
    showNewBlock(list_, block);
    return !rowsComplete();
}

QWidget* ExistingLinksSheet::linkRow(const ServerLink& link, bool first, bool own) {
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("link:") + toQ(link.token));
    auto* outer = new QVBoxLayout(row);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    if (!first) outer->addWidget(new form::Divider);
    // Spacings of their own: nested layouts would take the outer column's none.
    auto* layout = new QHBoxLayout;
    layout->setSpacing(8);
    layout->setContentsMargins(0, 3, 0, 3);
    outer->addLayout(layout);

    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(6);
    // Names, reports and links from the server wrap, anywhere if they must: the row's
    // buttons stay in sight however long they run.
    auto* title = new style::WrappingLabel(linkTitle(link));
    title->setFont(style::bold(style::bodyFont()));
    title->setObjectName(QStringLiteral("title"));
    titleLine->addWidget(title);
    if (own) {
        auto* mark = form::label(QStringLiteral("this project"), Tone::green, style::captionFont());
        mark->setObjectName(QStringLiteral("thisProject"));
        titleLine->addWidget(mark);
    }
    titleLine->addStretch(1);
    text->addLayout(titleLine);
    auto* detail = new style::WrappingLabel(linkDetailText(link), Tone::secondary);
    detail->setFont(style::captionFont());
    detail->setObjectName(QStringLiteral("detail"));
    text->addWidget(detail);
    auto* url =
        new style::SelectableText(shownName(link.url), Tone::secondary, style::monospacedCaptionFont());
    url->setObjectName(QStringLiteral("url"));
    text->addWidget(url);
    layout->addLayout(text, 1);

    auto* open = new QPushButton(QStringLiteral("Open"));
    open->setObjectName(QStringLiteral("open"));
    open->setAutoDefault(false);
    connect(open, &QPushButton::clicked, this, [this, link] { openLink(link); });
    auto* use = new QPushButton(QStringLiteral("Use"));
    use->setObjectName(QStringLiteral("use"));
    use->setAutoDefault(false);
    use->setEnabled(!own);
    connect(use, &QPushButton::clicked, this, [this, link] { useLink(link); });
    auto* trash = new QToolButton;
    trash->setObjectName(QStringLiteral("delete"));
    trash->setAutoRaise(true);
    trash->setIcon(symbolIcon(QStringLiteral("trash")));
    trash->setToolTip(QStringLiteral("Delete this link \u2013 the crew can no longer open it"));
    connect(trash, &QToolButton::clicked, this, [this, link] { askToDelete(link); });
    layout->addWidget(open, 0, Qt::AlignTop);
    layout->addWidget(use, 0, Qt::AlignTop);
    layout->addWidget(trash, 0, Qt::AlignTop);
    return row;
}

} // namespace rig::app
