#include "shell/Prompts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace rig::app {

Prompts::~Prompts() = default;

namespace {

Prompts* replacement = nullptr;

QWidget* dialogParent() {
    return QApplication::activeWindow();
}

// Project names and links reach these texts: never read them as markup.
void setPlainTexts(QMessageBox& box, const QString& message, const QString& detail) {
    box.setWindowTitle(QStringLiteral("Quorvane Rig"));
    box.setText(message);
    box.setInformativeText(detail);
    box.setTextFormat(Qt::PlainText);
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->objectName() == QLatin1String("qt_msgbox_informativelabel"))
            label->setTextFormat(Qt::PlainText);
    }
}

} // namespace

Prompts::SaveAnswer QtPrompts::askToSaveChanges(const QString& message, const QString& detail) {
    QMessageBox box(dialogParent());
    box.setIcon(QMessageBox::Warning);
    setPlainTexts(box, message, detail);
    QPushButton* save = box.addButton(QStringLiteral("Save"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    QPushButton* dontSave = box.addButton(QStringLiteral("Don’t Save"), QMessageBox::DestructiveRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) return SaveAnswer::save;
    if (box.clickedButton() == dontSave) return SaveAnswer::dontSave;
    return SaveAnswer::cancel;
}

std::optional<QString> QtPrompts::chooseProjectToOpen(const QString& directory) {
    QFileDialog dialog(dialogParent(), QString(), directory, QString::fromLatin1(projectFileFilter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtPrompts::chooseProjectSaveFile(const QString& directory, const QString& fileName) {
    QFileDialog dialog(dialogParent(), QString(), directory, QString::fromLatin1(projectFileFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("qvrig"));
    dialog.selectFile(directory.isEmpty() ? fileName : QDir(directory).filePath(fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

Prompts::RestoreAnswer QtPrompts::askToRestore(const QString& message, const QString& detail) {
    QMessageBox box(dialogParent());
    box.setIcon(QMessageBox::Question);
    setPlainTexts(box, message, detail);
    QPushButton* restore = box.addButton(QStringLiteral("Restore"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    // Escape and the window's close button need a button to answer with; this one stays
    // hidden and keeps the copy for a later start.
    QPushButton* dismiss = box.addButton(QMessageBox::Cancel);
    dismiss->hide();
    box.setDefaultButton(restore);
    box.setEscapeButton(dismiss);
    box.exec();
    if (box.clickedButton() == restore) return RestoreAnswer::restore;
    if (box.clickedButton() == discard) return RestoreAnswer::discard;
    return RestoreAnswer::dismissed;
}

QStringList QtPrompts::chooseFilesToImport(const QString& directory, const QString& message) {
    QFileDialog dialog(dialogParent(), message, directory,
                       QStringLiteral("Soundvision files (*.pdf *.csv *.dxf *.txt)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

void QtPrompts::showAlert(const QString& text) {
    QMessageBox box(dialogParent());
    box.setIcon(QMessageBox::Warning);
    setPlainTexts(box, QStringLiteral("Quorvane Rig"), text);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

std::optional<QString> QtPrompts::chooseExportSaveFile(const ExportSave& request) {
    QFileDialog dialog(dialogParent(), QString(), request.directory, request.nameFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.selectFile(request.directory.isEmpty() ? request.fileName
                                                  : QDir(request.directory).filePath(request.fileName));
    QPointer<QWidget> accessory = request.accessory;
    QWidget* accessoryParent = accessory ? accessory->parentWidget() : nullptr;
    if (accessory) {
        // Only Qt's own dialog can hold extra controls.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            grid->addWidget(accessory, grid->rowCount(), 0, 1, grid->columnCount());
        }
        accessory->show();
    }
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    // Give the accessory back before the dialog and its children go.
    if (accessory) {
        accessory->hide();
        accessory->setParent(accessoryParent);
    }
    if (!chosen) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

bool QtPrompts::confirmDeletion(const QString& message, const QString& detail) {
    QMessageBox box(dialogParent());
    box.setIcon(QMessageBox::Warning);
    setPlainTexts(box, message, detail);
    QPushButton* remove = box.addButton(QStringLiteral("Delete"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == remove;
}

Prompts& prompts() {
    static QtPrompts qtPrompts;
    return replacement ? *replacement : qtPrompts;
}

Prompts* setPrompts(Prompts* newReplacement) {
    Prompts* previous = replacement;
    replacement = newReplacement;
    return previous;
}

} // namespace rig::app
