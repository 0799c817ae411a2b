#include "PublishButton.h"

#include "BusyIndicator.h"
#include "CrewLink.h"
#include "Icons.h"
#include "ProjectStore.h"
#include "PublishAddresses.h"
#include "QtText.h"

#include <QHBoxLayout>
#include <QStackedLayout>
#include <QToolButton>

namespace rig::app {

QString publishButtonText::label(bool published) {
    return published ? QStringLiteral("Update link") : QStringLiteral("Publish");
}

QString publishButtonText::help(const std::optional<QString>& link) {
    if (!link) return QStringLiteral("Publish the crew view and copy the link.");
    if (link->isEmpty())
        return QStringLiteral("Updates the crew link – the link is copied to the clipboard.");
    return QStringLiteral("Updates ") + shownName(*link) +
           QStringLiteral(" – the link is copied to the clipboard.");
}

// --- Button -------------------------------------------------------------------------------

PublishButton::PublishButton(ProjectStore& store, QWidget* parent) : QWidget(parent), store_(store) {
    layers_ = new QStackedLayout(this);
    layers_->setContentsMargins(0, 0, 0, 0);
    button_ = new QToolButton;
    button_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button_->setAutoRaise(true);
    button_->setIcon(tintedIcon(QStringLiteral("paperplane"), QPalette::ButtonText));
    layers_->addWidget(button_);

    // While busy a small progress indicator takes the label's place.
    auto* busy = new QWidget;
    auto* row = new QHBoxLayout(busy);
    row->setContentsMargins(0, 0, 0, 0);
    progress_ = new BusyIndicator(14);
    row->addStretch(1);
    row->addWidget(progress_);
    row->addStretch(1);
    layers_->addWidget(busy);

    CrewLink* crewLink = &store_.crewLink();
    connect(button_, &QToolButton::clicked, crewLink, [crewLink](bool) { crewLink->press(); });
    connect(crewLink, &CrewLink::pressingChanged, this, &PublishButton::refresh);
    connect(&store_, &ProjectStore::changesToShow, this, &PublishButton::refresh);
    refresh();
}

QString PublishButton::label() const {
    return store_.crewLink().isPressing() ? QString() : button_->text();
}

void PublishButton::refresh() {
    const auto& share = store_.project().share;
    const bool busy = store_.crewLink().isPressing();
    button_->setText(publishButtonText::label(share.has_value()));
    button_->setEnabled(!busy);
    // A stored link that is not a valid one is not named: it may hold markup or hidden characters.
    const QString help = !share                             ? publishButtonText::help(std::nullopt)
                         : storedCrewLink(store_.project()) ? publishButtonText::help(toQ(share->url))
                                                            : publishButtonText::help(QString());
    button_->setToolTip(help);
    setToolTip(help);
    // The busy layer keeps the button's width so the toolbar does not jump.
    layers_->currentWidget()->setMinimumWidth(0);
    if (busy) layers_->widget(1)->setMinimumWidth(button_->sizeHint().width());
    layers_->setCurrentIndex(busy ? 1 : 0);
}

} // namespace rig::app
