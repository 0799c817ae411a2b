// The sheet shown after a newer report replaced the project's report: what changed, or that
// nothing did, and a reminder to publish. Read-only; "OK" (Return) closes it.
#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class QLabel;
class QPushButton;
class QScrollArea;

namespace rig::app {

class ImportChangesDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 560;
    static constexpr int maxListHeight = 360;

    explicit ImportChangesDialog(QStringList changes, QWidget* parent = nullptr);

    const QStringList& changes() const { return changes_; }
    // One selectable plain-text label per change, in order (none for an empty list).
    const QList<QLabel*>& lineLabels() const { return lines_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fitList();

    QStringList changes_;
    QPushButton* ok_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QList<QLabel*> lines_;
};

} // namespace rig::app
