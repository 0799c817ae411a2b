#include "Fields.h"

#include "QtText.h"
#include "ToneLabel.h"
#include "base/Number.h"
#include "base/Text.h"

#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>

#include <cmath>

namespace rig::app {

namespace {

// Focus that leaves for a context menu or another window comes back to the same field:
// the user is still typing there.
bool leavesTheField(const QFocusEvent* event) {
    return event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason;
}

bool isWindowFocus(const QWidget* widget) {
    const QWidget* window = widget->window();
    return window != nullptr && window->focusWidget() == widget;
}

} // namespace

NumField::NumField(OptionalNumberBinding value, const QString& prompt, const QString& unit, int width,
                   Decimals decimals, QWidget* parent)
    : QWidget(parent), value_(std::move(value)), decimals_(decimals), edit_(new QLineEdit(this)),
      unit_(new style::ToneLabel(unit, style::Tone::secondary, this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    edit_->setPlaceholderText(prompt);
    edit_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edit_->setFixedWidth(width);
    row->addWidget(edit_, 0, Qt::AlignVCenter);
    row->addWidget(unit_, 0, Qt::AlignVCenter);
    row->addStretch(1);
    setFocusProxy(edit_);

    edit_->setText(format(value_.get(), decimals_));
    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::textEdited, this, &NumField::commit);
}

QString NumField::format(std::optional<double> value, Decimals decimals) {
    if (!value) return {};
    std::string text = formatFixed(*value, decimals.upper);
    const auto point = text.find('.');
    // The exponent form of a far number has no zeros to trim.
    if (point == std::string::npos || isFarNumber(*value)) return toQ(text);
    while (text.back() == '0' && text.size() - point - 1 > std::size_t(std::max(decimals.lower, 0)))
        text.pop_back();
    if (text.back() == '.') text.pop_back();
    return toQ(text);
}

std::optional<double> parseTypedNumber(const QString& text) {
    std::string typed = trimWhite(toStd(text));
    for (char& c : typed) {
        if (c == ',') c = '.';
    }
    const std::optional<double> number = parseDecimal(typed);
    if (!number || !std::isfinite(*number)) return std::nullopt;
    return number;
}

NumField::Commit NumField::commitText(const QString& text, std::optional<double> current) {
    if (trimWhite(toStd(text)).empty()) return {current.has_value(), std::nullopt};
    const std::optional<double> number = parseTypedNumber(text);
    if (!number) return {};
    if (current && *current == *number) return {};
    return {true, number};
}

void NumField::commit(const QString& text) {
    const Commit result = commitText(text, value_.get());
    if (result.write) value_.set(result.value);
}

void NumField::showValue() {
    const QString text = format(value_.get(), decimals_);
    if (edit_->text() != text) edit_->setText(text);
}

void NumField::refresh() {
    if (!isFocused()) showValue();
}

bool NumField::isFocused() const {
    return isWindowFocus(edit_);
}

bool NumField::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::FocusOut &&
        leavesTheField(static_cast<QFocusEvent*>(event)))
        showValue();
    return QWidget::eventFilter(watched, event);
}

void NumField::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

BoxField::BoxField(TextBinding text, const QString& prompt, std::optional<int> width, QWidget* parent)
    : QLineEdit(parent), text_(std::move(text)) {
    setPlaceholderText(prompt);
    if (width) setFixedWidth(*width);
    setText(text_.get());
    connect(this, &QLineEdit::textEdited, this, [this](const QString& edited) { text_.set(edited); });
}

void BoxField::refresh() {
    if (!isFocused()) showValue();
}

void BoxField::showValue() {
    const QString value = text_.get();
    if (text() != value) setText(value);
}

bool BoxField::isFocused() const {
    return isWindowFocus(this);
}

void BoxField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (leavesTheField(event)) showValue();
}

} // namespace rig::app
