#include "ImportChangesDialog.h"

#include "QtText.h"
#include "ToneLabel.h"

#include <QAbstractTextDocumentLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

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

        // One view for all lines: a re-import can list thousands of changes, and a widget per
        // line made the window wait seconds. The view lays out lazily, as far as it is seen.
        lines_ = new QTextEdit;
        lines_->setReadOnly(true);
        lines_->setAcceptRichText(false);
        lines_->setUndoRedoEnabled(false);
        lines_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        lines_->setTabChangesFocus(true);
        lines_->setFont(style::bodyFont());
        lines_->setFrameShape(QFrame::NoFrame);
        lines_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        lines_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        lines_->setLineWrapMode(QTextEdit::WidgetWidth);
        lines_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        lines_->setFixedWidth(sheetWidth - 48);
        lines_->viewport()->setAutoFillBackground(false);
        QTextDocument* document = lines_->document();
        document->setDocumentMargin(0);

        QString text;
        for (const QString& change : changes_) {
            // The change names its source inside a sentence: the whole line is isolated, and
            // shown on one line, so each change is exactly one paragraph. Every occurrence is a
            // line of its own: a change listed twice is shown twice.
            QString line = shownName(change);
            // The document reads these as frame marks; a name holding one stays one line.
            line.replace(QChar(0xfdd0), QChar::ReplacementCharacter)
                .replace(QChar(0xfdd1), QChar::ReplacementCharacter);
            if (!text.isEmpty()) text += QLatin1Char('\n');
            text += QStringLiteral("\u2022 ") + line;
        }
        QTextBlockFormat spaced;
        spaced.setBottomMargin(6);
        QTextCursor cursor(document);
        cursor.beginEditBlock();
        cursor.setBlockFormat(spaced);
        cursor.insertText(text);                   // "\n" starts a paragraph with the same format
        cursor.setBlockFormat(QTextBlockFormat()); // nothing below the last line
        cursor.endEditBlock();
        // The view follows its cursor: at the end it would lay out and show the last line.
        lines_->moveCursor(QTextCursor::Start);
        column->addWidget(lines_);
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

// The list takes the height of its lines, up to maxListHeight; beyond that it scrolls. Only
// the lines up to that height are measured, in a copy of their own, so that the view's lazy
// layout is left alone however many lines follow.
void ImportChangesDialog::fitList() {
    if (!lines_) return;
    const QTextDocument* shown = lines_->document();
    QTextDocument measured;
    measured.setDefaultFont(shown->defaultFont());
    measured.setDefaultTextOption(shown->defaultTextOption());
    measured.setDocumentMargin(shown->documentMargin());
    measured.setTextWidth(lines_->width());
    QTextCursor cursor(&measured);
    int height = maxListHeight;
    for (QTextBlock line = shown->begin(); line.isValid(); line = line.next()) {
        if (line == shown->begin()) {
            cursor.setBlockFormat(line.blockFormat());
        } else {
            cursor.insertBlock(line.blockFormat());
        }
        cursor.insertText(line.text());
        const qreal bottom = measured.documentLayout()->blockBoundingRect(cursor.block()).bottom();
        if (bottom > maxListHeight) break;
        if (!line.next().isValid()) height = int(std::ceil(bottom));
    }
    lines_->setFixedHeight(std::max(height, 1));
}

} // namespace rig::app
