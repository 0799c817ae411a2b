#include "ImportChangesDialog.h"

#include "QtText.h"
#include "ToneLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace rig::app {

using style::Tone;
using style::ToneLabel;

ImportChangesDialog::ImportChangesDialog(QStringList changes, QWidget* parent)
    : QDialog(parent), changes_(std::move(changes)) {
    setWindowTitle(QStringLiteral("Quorvane Rig"));
    setFixedWidth(sheetWidth);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(12);
    column->setSizeConstraint(QLayout::SetFixedSize);

    auto* title = new ToneLabel(QStringLiteral("New report imported"), Tone::primary);
    title->setFont(style::bold(style::title2Font()));
    column->addWidget(title);

    auto wrapped = [](const QString& text, Tone tone) {
        auto* label = new ToneLabel(text, tone);
        label->setWordWrap(true);
        label->setFixedWidth(sheetWidth - 48);
        return label;
    };

    if (changes_.isEmpty()) {
        column->addWidget(
            wrapped(QStringLiteral(
                        "No changes to arrays, angles, points or loads compared with the previous report."),
                    Tone::secondary));
    } else {
        column->addWidget(wrapped(
            QStringLiteral(
                "Changes compared with the previous report. Your motors and Delta settings are kept."),
            Tone::secondary));

        auto* list = new QWidget;
        auto* lines = new QVBoxLayout(list);
        lines->setContentsMargins(0, 0, 0, 0);
        lines->setSpacing(6);
        // Every occurrence is a line of its own: a change listed twice is shown twice.
        for (const QString& change : changes_) {
            // The change names its source inside a sentence: the whole line is isolated.
            auto* line = new QLabel(QStringLiteral("• ") + shownName(change));
            line->setTextFormat(Qt::PlainText);
            line->setWordWrap(true);
            line->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
            line->setFont(style::bodyFont());
            lines->addWidget(line);
            lines_.push_back(line);
        }
        lines->addStretch(1);

        scroll_ = new QScrollArea;
        scroll_->setWidget(list);
        scroll_->setWidgetResizable(true);
        scroll_->setFrameShape(QFrame::NoFrame);
        scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        scroll_->setFixedWidth(sheetWidth - 48);
        scroll_->viewport()->setAutoFillBackground(false);
        list->setAutoFillBackground(false);
        column->addWidget(scroll_);
        fitList();

        auto* hint = new ToneLabel(QStringLiteral("Publish to update the crew link."), Tone::secondary);
        hint->setFont(style::calloutFont());
        column->addWidget(hint);
    }

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    ok_ = new QPushButton(QStringLiteral("OK"));
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    row->addWidget(ok_);
    column->addLayout(row);
}

void ImportChangesDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    fitList();
    ok_->setFocus();
}

// The list takes the height of its lines, up to maxListHeight; beyond that it scrolls.
void ImportChangesDialog::fitList() {
    if (!scroll_) return;
    QWidget* list = scroll_->widget();
    const int scrollBar = scroll_->verticalScrollBar()->sizeHint().width();
    int height = list->layout()->hasHeightForWidth() ? list->layout()->heightForWidth(scroll_->width())
                                                     : list->sizeHint().height();
    if (height > maxListHeight) {
        // With the scroll bar showing the lines wrap in less width.
        height = list->layout()->heightForWidth(scroll_->width() - scrollBar);
    }
    scroll_->setFixedHeight(std::clamp(height, 1, maxListHeight));
}

} // namespace rig::app
