// The building blocks of the settings panes: a scrolling pane of grouped sections (a header,
// rows on a rounded card with hairlines between them, a caption footer) and a segmented picker.
#pragma once

#include <QScrollArea>
#include <QString>
#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QLabel;
class QVBoxLayout;

namespace rig::app {

// Gives a push button some room around its title (Fusion draws them tight).
void padButton(QAbstractButton* button);

// The rounded card holding a section's rows; draws a hairline between visible rows.
class FormCard : public QWidget {
    Q_OBJECT
public:
    explicit FormCard(QWidget* parent = nullptr);
    QVBoxLayout* rows() const { return rows_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* rows_;
};

class FormSection : public QWidget {
    Q_OBJECT
public:
    // An empty header or footer is left out.
    FormSection(const QString& header, const QString& footer, QWidget* parent = nullptr);

    // Adds `content` as a row across the card and gives the row (deleting it removes the row).
    QWidget* addRow(QWidget* content);
    QWidget* insertRow(int index, QWidget* content);
    // A row with `title` on the left and `content` on the right.
    QWidget* addLabelledRow(const QString& title, QWidget* content);

    FormCard* card() const { return card_; }

private:
    FormCard* card_;
};

// A scrolling column of sections; the settings window shows one per tab, and each pane can be
// built and drawn on its own.
class SettingsPane : public QScrollArea {
    Q_OBJECT
public:
    explicit SettingsPane(QWidget* parent = nullptr);

protected:
    FormSection* addSection(const QString& header = {}, const QString& footer = {});

private:
    QVBoxLayout* column_;
};

// A row of mutually exclusive segments. Only the user's choice (a click, or the arrow keys
// while focused) emits segmentClicked; setCurrentIndex does not.
class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedControl(const QStringList& labels, QWidget* parent = nullptr);

    int count() const { return int(labels_.size()); }
    QString label(int index) const { return labels_.value(index); }
    // -1 when no segment is selected.
    int currentIndex() const { return current_; }
    void setCurrentIndex(int index);
    QRect segmentRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void segmentClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void choose(int index);
    int segmentWidth() const;

    QStringList labels_;
    int current_ = -1;
};

} // namespace rig::app
