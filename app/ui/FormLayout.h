// The grouped form the overview page is made of: sections with a header, a rounded box of
// rows with hairlines between them, and an optional footer. A row puts its label on the
// leading side and its value on the trailing side.
#pragma once

#include "ToneLabel.h"

#include <QHBoxLayout>
#include <QString>
#include <QVBoxLayout>
#include <QWidget>

class QPushButton;
class QToolButton;

namespace rig::app::form {

// Space around the contents of every row.
inline constexpr int rowPadding = 12;
inline constexpr int rowVerticalPadding = 7;

// The rows of one section: a rounded box on the base colour with a hairline between every
// two visible rows. Hidden rows take no space and get no hairline.
class FormRows : public QWidget {
    Q_OBJECT
public:
    explicit FormRows(QWidget* parent = nullptr);

    // Appends a row (takes ownership) and gives it the row padding.
    void addRow(QWidget* row);
    // Appends a widget that pads its own rows and draws the lines between them (a RowGroup
    // inside), so they read as rows of this box.
    void addRowGroup(QWidget* group);
    QVBoxLayout* rowsLayout() const { return rows_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* rows_;
};

// Rows that one widget lays out itself (a group of fields), padded and divided as the rows of
// a FormRows are. Hidden rows take no space and get no hairline.
class RowGroup : public QWidget {
    Q_OBJECT
public:
    explicit RowGroup(QWidget* parent = nullptr);

    // Appends a row (takes ownership) and gives it the row padding.
    void addRow(QWidget* row);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* rows_;
};

// Label on the leading side, values on the trailing side (added in order).
class FormRow : public QWidget {
    Q_OBJECT
public:
    explicit FormRow(const QString& label = {}, QWidget* parent = nullptr);

    // Adds a value widget on the trailing side; `stretch` lets it take the free width.
    void addValue(QWidget* value, int stretch = 0, Qt::Alignment alignment = Qt::AlignVCenter);

private:
    style::WrappingLabel* label_ = nullptr;
    QHBoxLayout* layout_;
};

// A section: header text, the rows box and an optional footer in caption text.
class FormSection : public QWidget {
    Q_OBJECT
public:
    // Takes ownership of `rows`; a plain FormRows when null.
    explicit FormSection(const QString& header, FormRows* rows = nullptr, QWidget* parent = nullptr);

    style::ToneLabel* header() const { return header_; }
    FormRows* rows() const { return rows_; }
    void setFooter(const QString& text);

private:
    style::ToneLabel* header_;
    FormRows* rows_;
    style::ToneLabel* footer_ = nullptr;
};

// A one-pixel line across the width, in the primary colour at 12 %.
class Divider : public QWidget {
    Q_OBJECT
public:
    explicit Divider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Texts shown on buttons and menu items: "&" is a mnemonic marker there.
QString buttonText(const QString& text);

// A tool tip showing `text` as written: Qt reads text that looks like markup as rich text,
// and names come from files and users.
QString plainToolTip(const QString& text);

// A push button of its own size with `text` as written ("&" is no mnemonic).
QPushButton* pushButton(const QString& text, const QString& objectName);

// A flat check button, its text beside the chevron its owner sets: it shows and hides a group
// of rows.
QToolButton* disclosureButton(const QString& objectName);

// A label in a tone and font.
style::ToneLabel* label(const QString& text, style::Tone tone = style::Tone::primary,
                        const QFont& font = style::bodyFont(), QWidget* parent = nullptr);

} // namespace rig::app::form
