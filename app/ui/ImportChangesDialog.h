// The sheet shown after a newer report replaced the project's report: what changed, or that
// nothing did, and a reminder to publish. Read-only; "OK" (Return) closes it.
#pragma once

#include <QDialog>
#include <QStringList>

class QPushButton;
class QTextEdit;

namespace rig::app {

class ImportChangesDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 560;
    static constexpr int maxListHeight = 360;

    explicit ImportChangesDialog(QStringList changes, QWidget* parent = nullptr);

    const QStringList& changes() const { return changes_; }
    // The change lines, one paragraph per change in order, as plain text in a read-only,
    // selectable view (none for an empty list).
    QTextEdit* lineView() const { return lines_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fitList();

    QStringList changes_;
    QPushButton* ok_ = nullptr;
    QTextEdit* lines_ = nullptr;
};

} // namespace rig::app
