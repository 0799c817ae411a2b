// The input fields every form uses: NumField edits an optional number with a unit while the
// user types, BoxField a plain text. Both read and write their value through a Binding, so
// the same field serves the project, the motor library and the settings.
#pragma once

#include <QLineEdit>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>

namespace rig::app {

namespace style {
class ToneLabel;
}

// A two-way link to a value owned elsewhere: `get` reads it now, `set` writes it.
template <class T>
struct Binding {
    std::function<T()> get;
    std::function<void(T)> set;
};

using NumberBinding = Binding<double>;
using OptionalNumberBinding = Binding<std::optional<double>>;
using TextBinding = Binding<QString>;

// The adapter for a number that is never absent: reading gives the number, writing an
// absent value stores 0.
inline std::optional<double> optionalBindingGet(double value) {
    return value;
}
inline double optionalBindingSet(std::optional<double> value) {
    return value.value_or(0.0);
}
inline OptionalNumberBinding optionalBinding(NumberBinding plain) {
    return {[get = plain.get] { return optionalBindingGet(get()); },
            [set = plain.set](std::optional<double> value) { set(optionalBindingSet(value)); }};
}

// A number as the user types it: spaces and tabs around it ignored, a decimal comma read as a
// point. None for blank text, for anything else that is not a number, and for infinity and
// not-a-number (the project and the library could not be saved with them).
std::optional<double> parseTypedNumber(const QString& text);

// Fewest and most fraction digits shown.
struct Decimals {
    int lower = 0;
    int upper = 2;
};

class NumField : public QWidget {
    Q_OBJECT
public:
    NumField(OptionalNumberBinding value, const QString& prompt, const QString& unit, int width,
             Decimals decimals, QWidget* parent = nullptr);

    // The display text: "%.<upper>f", then trailing zeros dropped down to `lower` fraction
    // digits and a bare "." removed. Absent gives "".
    static QString format(std::optional<double> value, Decimals decimals);

    // What committing `text` writes: nothing (`write` false) when the text is not a finite
    // number or equals `current`; else the number, or absent for blank text. A decimal comma
    // reads as a point; spaces and tabs around the number are ignored.
    struct Commit {
        bool write = false;
        std::optional<double> value;
    };
    static Commit commitText(const QString& text, std::optional<double> current);

    // Shows the bound value unless the user is typing in the field. Call when the value
    // may have changed elsewhere.
    void refresh();

    // Calls refresh() whenever `sender` emits `signal`.
    template <class Sender, class Signal>
    void refreshOn(const Sender* sender, Signal signal) {
        connect(sender, signal, this, &NumField::refresh);
    }

    // True while the text field is its window's focus widget (the typed text is kept).
    bool isFocused() const;
    QLineEdit* lineEdit() const { return edit_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void commit(const QString& text);
    void showValue();

    OptionalNumberBinding value_;
    Decimals decimals_;
    QLineEdit* edit_;
    style::ToneLabel* unit_;
};

class BoxField : public QLineEdit {
    Q_OBJECT
public:
    // Without a width the field takes the width its layout gives it.
    BoxField(TextBinding text, const QString& prompt, std::optional<int> width = std::nullopt,
             QWidget* parent = nullptr);

    // Shows the bound text unless the user is typing in the field.
    void refresh();

    template <class Sender, class Signal>
    void refreshOn(const Sender* sender, Signal signal) {
        connect(sender, signal, this, &BoxField::refresh);
    }

    bool isFocused() const;

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showValue();

    TextBinding text_;
};

} // namespace rig::app
