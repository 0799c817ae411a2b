#include "ShareRow.h"

#include "CrewLink.h"
#include "DateText.h"
#include "ExistingLinksSheet.h"
#include "FormLayout.h"
#include "ProjectStore.h"
#include "PublishAddresses.h"
#include "PublishChanges.h"
#include "QRCode.h"
#include "QtText.h"
#include "Sheet.h"
#include "Symbols.h"
#include "ToneLabel.h"
#include "WebLinks.h"
#include "base/Number.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace rig::app {

namespace {

using style::Tone;

// A row of one callout text in orange.
QWidget* noteRow(const QString& name, style::ToneLabel*& label) {
    auto* row = new QWidget;
    row->setObjectName(name);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    label = form::label({}, Tone::orange, style::calloutFont());
    label->setWordWrap(true);
    layout->addWidget(label, 1);
    return row;
}

} // namespace

std::int64_t hiddenSourceCount(const Project& project) {
    std::int64_t n = 0;
    for (const Source& s : project.report.sources) n += project.isHidden(s.id()) ? 1 : 0;
    return n;
}

QString sourceCountText(std::int64_t n) {
    return toQ(integerText(n)) + QStringLiteral(" source") + (n == 1 ? QString() : QStringLiteral("s"));
}

QString changedSinceText(std::int64_t m) {
    return sourceCountText(m) +
           QStringLiteral(" changed since then \u2013 press Update link (toolbar) so the crew sees it.");
}

QString shareMessage(const Project& project) {
    return toQ(project.name) + QStringLiteral(" \u2013 speaker rigging");
}

QString visibilityErrorText(const QString& error) {
    return QStringLiteral("Hidden sources not sent: ") + error;
}

const QString badStoredLinkText =
    QStringLiteral("This crew link is not a valid https address, so it is not opened, copied or shown as a "
                   "QR code. Update link (toolbar) replaces it with the server\u2019s link.");

ShareRow::ShareRow(ProjectStore& store, QWidget* parent) : form::FormRows(parent), store_(store) {
    setObjectName(QStringLiteral("shareRow"));

    // Hidden sources.
    auto* hidden = new form::FormRow(QStringLiteral("Hidden from crew"));
    hidden->setObjectName(QStringLiteral("hiddenRow"));
    hiddenCount_ = form::label({});
    hiddenCount_->setObjectName(QStringLiteral("hiddenCount"));
    showAll_ = form::pushButton(QStringLiteral("Show All"), QStringLiteral("showAll"));
    hidden->addValue(hiddenCount_);
    hidden->addValue(showAll_);
    connect(showAll_, &QPushButton::clicked, this, [this] { showAll(); });
    hiddenRow_ = hidden;
    addRow(hiddenRow_);

    buildLinkBlock();

    // A stored link that fails the checks a server's link must pass (a hostile or damaged
    // project file): shown as text, offered nowhere.
    style::ToneLabel* badLink = nullptr;
    badLinkRow_ = noteRow(QStringLiteral("badLinkNote"), badLink);
    badLink->setText(badStoredLinkText);
    addRow(badLinkRow_);

    // When it was published.
    auto* published = new form::FormRow(QStringLiteral("Last published"));
    published->setObjectName(QStringLiteral("publishedRow"));
    published_ = form::label({});
    published_->setObjectName(QStringLiteral("publishedAt"));
    published->addValue(published_);
    publishedRow_ = published;
    addRow(publishedRow_);

    // Attached link, changes since the publish.
    style::ToneLabel* attached = nullptr;
    attachedRow_ = noteRow(QStringLiteral("attachedNote"), attached);
    attached->setText(QStringLiteral(
        "Attached to an existing link \u2013 press Update link (toolbar) to send this project to it."));
    addRow(attachedRow_);
    changedRow_ = noteRow(QStringLiteral("changedNote"), changed_);
    addRow(changedRow_);

    buildErrorRow();
    buildFirstPublishHint();
    buildExistingLinksRow();

    connect(&store_, &ProjectStore::changesToShow, this, &ShareRow::refresh);
    connect(&store_.crewLink(), &CrewLink::visibilityErrorChanged, this, &ShareRow::refresh);
    connect(&store_.crewLink(), &CrewLink::pressingChanged, this, &ShareRow::refresh);
    refresh();
}

// The link, its actions and the QR code.
void ShareRow::buildLinkBlock() {
    linkRow_ = new QWidget;
    linkRow_->setObjectName(QStringLiteral("linkBlock"));
    auto* linkLayout = new QHBoxLayout(linkRow_);
    linkLayout->setContentsMargins(0, 0, 0, 0);
    linkLayout->setSpacing(16);
    auto* linkColumn = new QVBoxLayout;
    linkColumn->setSpacing(10);
    link_ = new LinkLabel;
    link_->setObjectName(QStringLiteral("link"));
    connect(link_, &LinkLabel::clicked, this, [this] { openWebLink(link_->text()); });
    linkColumn->addWidget(link_);
    auto* actions = new QHBoxLayout;
    share_ = form::pushButton(QStringLiteral("Share\u2026"), QStringLiteral("share"));
    share_->setIcon(symbolIcon(QStringLiteral("square.and.arrow.up")));
    auto* shareMenu = new QMenu(share_);
    shareMenu->addAction(QStringLiteral("Email\u2026"), this, [this] { shareByEmail(); });
    share_->setMenu(shareMenu);
    copyLink_ = form::pushButton(QStringLiteral("Copy Link"), QStringLiteral("copyLink"));
    copyLink_->setIcon(symbolIcon(QStringLiteral("doc.on.doc")));
    connect(copyLink_, &QPushButton::clicked, this, [this] { copyLink(); });
    actions->addWidget(share_);
    actions->addWidget(copyLink_);
    actions->addStretch(1);
    linkColumn->addLayout(actions);
    auto* stays = form::label(QStringLiteral("The link stays the same after updates \u2013 send it once."),
                              Tone::secondary, style::captionFont());
    stays->setWordWrap(true);
    linkColumn->addWidget(stays);
    linkColumn->addStretch(1);
    linkLayout->addLayout(linkColumn, 1);
    linkLayout->addWidget(buildQRColumn(), 0, Qt::AlignTop);
    addRow(linkRow_);
}

// The QR code with its caption; its context menu copies it.
QWidget* ShareRow::buildQRColumn() {
    qrColumn_ = new QWidget;
    qrColumn_->setObjectName(QStringLiteral("qrColumn"));
    auto* qrLayout = new QVBoxLayout(qrColumn_);
    qrLayout->setContentsMargins(0, 0, 0, 0);
    qrLayout->setSpacing(4);
    qr_ = new QRView;
    qr_->setObjectName(QStringLiteral("qr"));
    qrLayout->addWidget(qr_, 0, Qt::AlignHCenter);
    auto* scan =
        form::label(QStringLiteral("Scan with the phone camera"), Tone::secondary, style::caption2Font());
    qrLayout->addWidget(scan, 0, Qt::AlignHCenter);
    auto* copyQR = new QAction(QStringLiteral("Copy QR Code"), qrColumn_);
    connect(copyQR, &QAction::triggered, this, [this] { copyQRCode(); });
    qrColumn_->addAction(copyQR);
    qrColumn_->setContextMenuPolicy(Qt::ActionsContextMenu);
    return qrColumn_;
}

// A re-send of the hidden sources that failed, with "Send Now".
void ShareRow::buildErrorRow() {
    errorRow_ = new QWidget;
    errorRow_->setObjectName(QStringLiteral("visibilityError"));
    auto* errorLayout = new QHBoxLayout(errorRow_);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    errorLayout->setSpacing(6);
    errorLayout->addWidget(
        new SymbolView(QStringLiteral("wifi.exclamationmark"), Tone::orange, style::calloutFont()), 0,
        Qt::AlignVCenter);
    error_ = form::label({}, Tone::orange, style::calloutFont());
    error_->setWordWrap(true);
    error_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    errorLayout->addWidget(error_, 1, Qt::AlignVCenter);
    sendNow_ = form::pushButton(QStringLiteral("Send Now"), QStringLiteral("sendNow"));
    connect(sendNow_, &QPushButton::clicked, this, [this] { sendNow(); });
    errorLayout->addWidget(sendNow_, 0, Qt::AlignVCenter);
    newLink_ =
        form::pushButton(QStringLiteral("Publish Under a New Link"), QStringLiteral("publishUnderNewLink"));
    connect(newLink_, &QPushButton::clicked, this, [this] { publishUnderNewLink(); });
    errorLayout->addWidget(newLink_, 0, Qt::AlignVCenter);
    addRow(errorRow_);
}

// Before the first publish.
void ShareRow::buildFirstPublishHint() {
    hintRow_ = new QWidget;
    hintRow_->setObjectName(QStringLiteral("firstPublishHint"));
    auto* hintLayout = new QHBoxLayout(hintRow_);
    hintLayout->setContentsMargins(0, 0, 0, 0);
    auto* hint =
        form::label(QStringLiteral("Press Publish in the toolbar: the crew view goes online and the link is "
                                   "copied \u2013 paste it into WhatsApp. Later updates keep the same link."),
                    Tone::secondary);
    hint->setWordWrap(true);
    hintLayout->addWidget(hint, 1);
    addRow(hintRow_);
}

// Links kept on the server.
void ShareRow::buildExistingLinksRow() {
    auto* linksRow = new QWidget;
    linksRow->setObjectName(QStringLiteral("existingLinksRow"));
    auto* linksLayout = new QHBoxLayout(linksRow);
    linksLayout->setContentsMargins(0, 0, 0, 0);
    existingLinks_ =
        form::pushButton(QStringLiteral("Use an Existing Link\u2026"), QStringLiteral("useExistingLink"));
    connect(existingLinks_, &QPushButton::clicked, this, [this] { openLinksSheet(); });
    linksLayout->addWidget(existingLinks_, 0, Qt::AlignVCenter);
    auto* linksCaption =
        form::label(QStringLiteral("Re-attach a link the crew already has, or delete old ones."),
                    Tone::secondary, style::captionFont());
    linksCaption->setWordWrap(true);
    linksLayout->addWidget(linksCaption, 1, Qt::AlignVCenter);
    addRow(linksRow);
}

ShareRow::~ShareRow() {
    if (sheet_) sheet_->close();
}

void ShareRow::refresh() {
    const Project& project = store_.project();

    const std::int64_t hiddenCount = hiddenSourceCount(project);
    hiddenRow_->setVisible(hiddenCount > 0);
    hiddenCount_->updateText(sourceCountText(hiddenCount));

    const std::optional<ShareInfo>& share = project.share;
    linkRow_->setVisible(share.has_value());
    publishedRow_->setVisible(share.has_value());
    hintRow_->setVisible(!share);
    if (share) {
        const QString url = toQ(share->url);
        const bool valid = storedCrewLink(project).has_value();
        link_->setText(url, valid);
        badLinkRow_->setVisible(!valid);
        share_->setEnabled(valid);
        copyLink_->setEnabled(valid);
        const QString qrText = valid ? url : QString();
        if (qrText_ != qrText) {
            qrText_ = qrText;
            qrImage_ = valid ? makeQRImage(url, qrFactor) : std::nullopt;
            if (qrImage_) qr_->setImage(*qrImage_);
        }
        qrColumn_->setVisible(qrImage_.has_value());
        published_->updateText(formatShortDateTime(share->publishedAt));
        attachedRow_->setVisible(share->fingerprints.empty());
        const std::int64_t changed = std::int64_t(publishChangeSummary(project).size());
        changedRow_->setVisible(changed > 0);
        if (changed > 0) changed_->updateText(changedSinceText(changed));
        const CrewLink& crewLink = store_.crewLink();
        const std::optional<QString> failure = crewLink.visibilityError();
        const bool showError = failure.has_value() && isShareStale(project);
        errorRow_->setVisible(showError);
        if (showError) {
            error_->updateText(visibilityErrorText(*failure));
            // A link the server no longer knows fails every re-send alike.
            const bool gone = crewLink.visibilityLinkGone();
            sendNow_->setVisible(!gone);
            newLink_->setVisible(gone);
            newLink_->setEnabled(!crewLink.isPressing());
        }
    } else {
        badLinkRow_->setVisible(false);
        attachedRow_->setVisible(false);
        changedRow_->setVisible(false);
        errorRow_->setVisible(false);
    }
    update();
}

void ShareRow::showAll() {
    Project project = store_.project();
    project.hiddenSources.reset();
    store_.setProject(std::move(project));
}

void ShareRow::copyLink() {
    const std::optional<QUrl> link = storedCrewLink(store_.project());
    if (!link) return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(toQ(store_.project().share->url));
}

void ShareRow::copyQRCode() {
    if (!qrImage_) return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setImage(*qrImage_);
}

void ShareRow::sendNow() {
    // Runs to its end on its own; a failure comes back as the store's visibility error.
    store_.crewLink().sendVisibilityUpdate();
}

void ShareRow::publishUnderNewLink() {
    // As chosen in the failed update's alert: the press goes on by itself. Only while the
    // project still holds the link that was found gone.
    if (store_.crewLink().visibilityLinkGone()) store_.crewLink().pressUnderNewLink();
}

void ShareRow::shareByEmail() {
    const Project& project = store_.project();
    if (!storedCrewLink(project)) return;
    openMailDraft(toQ(project.name), shareMessage(project) + QStringLiteral("\n") + toQ(project.share->url));
}

void ShareRow::openLinksSheet() {
    if (sheet_) {
        sheet_->raise();
        sheet_->activateWindow();
        return;
    }
    auto* sheet = new ExistingLinksSheet(store_, this);
    prepareSheet(sheet, this, [this, sheet] {
        if (sheet_ != sheet) return;
        sheet_ = nullptr;
        emit showLinksChanged();
    });
    sheet_ = sheet;
    emit showLinksChanged();
    sheet->open();
}

bool ShareRow::showLinks() const {
    return sheet_ != nullptr;
}
ExistingLinksSheet* ShareRow::linksSheet() const {
    return sheet_;
}

QLabel* ShareRow::hiddenCountLabel() const {
    return hiddenCount_;
}
QLabel* ShareRow::errorLabel() const {
    return error_;
}

// --- LinkLabel ------------------------------------------------------------------------------------

LinkLabel::LinkLabel(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LinkLabel::setText(const QString& text, bool link) {
    if (text == text_ && link == link_) return;
    text_ = text;
    link_ = link;
    setCursor(link_ ? Qt::PointingHandCursor : Qt::ArrowCursor);
    setToolTip(form::plainToolTip(text));
    updateGeometry();
    update();
}

QString LinkLabel::shownText() const {
    return shownName(fontMetrics().elidedText(text_, Qt::ElideMiddle, width()));
}

QSize LinkLabel::sizeHint() const {
    return {fontMetrics().horizontalAdvance(text_) + 2, fontMetrics().height()};
}

QSize LinkLabel::minimumSizeHint() const {
    return {fontMetrics().horizontalAdvance(QStringLiteral("w\u2026w")), fontMetrics().height()};
}

void LinkLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor c = style::color(link_ ? style::Tone::accent : style::Tone::primary, palette());
    p.setPen(c);
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shownText());
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (link_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

// --- QRView ---------------------------------------------------------------------------------------

namespace {
constexpr int qrPadding = 6;
}

QRView::QRView(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
}

void QRView::setImage(const QImage& image) {
    image_ = image;
    update();
}

QSize QRView::sizeHint() const {
    return {ShareRow::qrSide + 2 * qrPadding, ShareRow::qrSide + 2 * qrPadding};
}

void QRView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()), 6, 6);
    p.fillPath(card, Qt::white);
    // Hard module edges.
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRect(qrPadding, qrPadding, ShareRow::qrSide, ShareRow::qrSide), image_);
}

} // namespace rig::app
