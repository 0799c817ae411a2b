#include "QtPrompts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPointer>
#include <QPushButton>

#include <utility>

namespace rig::app {

namespace {

// Project names and links reach these texts: never read them as markup.
void setPlainTexts(QMessageBox& box, QMessageBox::Icon icon, const QString& message, const QString& detail) {
    box.setIcon(icon);
    box.setWindowTitle(QStringLiteral("Quorvane Rig"));
    box.setText(message);
    box.setInformativeText(detail);
    box.setTextFormat(Qt::PlainText);
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->objectName() == QLatin1String("qt_msgbox_informativelabel"))
            label->setTextFormat(Qt::PlainText);
    }
}

// Runs `box` with Return answering `defaultButton`, Escape and the close button `escapeButton`.
QAbstractButton* clickedIn(QMessageBox& box, QPushButton* defaultButton, QPushButton* escapeButton) {
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(escapeButton);
    box.exec();
    return box.clickedButton();
}

// A warning whose first button goes on (also Return), whose second does what cannot be undone,
// and whose "Cancel" (also Escape and the close button) answers `cancelled`.
template <typename Answer>
Answer askWarning(QWidget* parent, const QString& message, const QString& detail,
                  std::pair<const char*, Answer> accept, std::pair<const char*, Answer> destructive,
                  Answer cancelled) {
    QMessageBox box(parent);
    setPlainTexts(box, QMessageBox::Warning, message, detail);
    QPushButton* yes = box.addButton(QString::fromUtf8(accept.first), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    QPushButton* no = box.addButton(QString::fromUtf8(destructive.first), QMessageBox::DestructiveRole);
    QAbstractButton* clicked = clickedIn(box, yes, cancel);
    return clicked == yes ? accept.second : clicked == no ? destructive.second : cancelled;
}

// A warning whose button `act` does what cannot be undone; "Cancel" is the default and answers
// Return, Escape and the close button.
bool confirmWarning(QWidget* parent, const QString& message, const QString& detail, const char* act) {
    QMessageBox box(parent);
    setPlainTexts(box, QMessageBox::Warning, message, detail);
    QPushButton* yes = box.addButton(QString::fromUtf8(act), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    return clickedIn(box, cancel, cancel) == yes;
}

// Icons and type names of files from their names alone. Qt's own lookup reads a file whose
// name says nothing: a device that never answers (/proc/kmsg as root) would hold the panel,
// and the whole program, for good.
class NamedFileIcons : public QFileIconProvider {
public:
    QIcon icon(const QFileInfo& info) const override {
        if (info.isDir()) return QFileIconProvider::icon(info);
        const QMimeType type = byName(info);
        return QIcon::fromTheme(type.iconName(),
                                QIcon::fromTheme(type.genericIconName(), QFileIconProvider::icon(File)));
    }
    QString type(const QFileInfo& info) const override {
        if (info.isDir()) return QFileIconProvider::type(info);
        const QMimeType type = byName(info);
        return type.comment().isEmpty() ? type.name() : type.comment();
    }

private:
    QMimeType byName(const QFileInfo& info) const {
        return types_.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }
    QMimeDatabase types_;
};

// A file panel; where it is Qt's own (the platform's panels do their own lookups), with file
// icons by name, set before the panel's first listing reaches them. They outlive the panel.
struct FilePanel {
    FilePanel(QWidget* parent, const QString& caption, const QString& directory, const QString& filter,
              QFileDialog::Options options = {})
        : dialog(parent, caption, directory, filter) {
        dialog.setOptions(options);
        dialog.setIconProvider(&icons);
    }
    NamedFileIcons icons;
    QFileDialog dialog;
};

void prepareSave(QFileDialog& dialog, const QString& directory, const QString& fileName,
                 const QString& suffix) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(directory.isEmpty() ? fileName : QDir(directory).filePath(fileName));
}

std::optional<QString> chosenFile(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

QWidget* QtPrompts::dialogParent() const {
    if (QWidget* active = QApplication::activeWindow()) return active;
    return mainWindow_;
}

Prompts::SaveAnswer QtPrompts::askToSaveChanges(const QString& message, const QString& detail) {
    return askWarning(dialogParent(), message, detail, std::pair{"Save", SaveAnswer::save},
                      std::pair{"Don’t Save", SaveAnswer::dontSave}, SaveAnswer::cancel);
}

std::optional<QString> QtPrompts::chooseProjectToOpen(const QString& directory) {
    FilePanel panel(dialogParent(), QString(), directory, QString::fromLatin1(projectFileFilter));
    panel.dialog.setAcceptMode(QFileDialog::AcceptOpen);
    panel.dialog.setFileMode(QFileDialog::ExistingFile);
    return chosenFile(panel.dialog);
}

std::optional<QString> QtPrompts::chooseProjectSaveFile(const QString& directory, const QString& fileName) {
    FilePanel panel(dialogParent(), QString(), directory, QString::fromLatin1(projectFileFilter));
    prepareSave(panel.dialog, directory, fileName, QStringLiteral("qvrig"));
    return chosenFile(panel.dialog);
}

Prompts::RestoreAnswer QtPrompts::askToRestore(const QString& message, const QString& detail) {
    QMessageBox box(dialogParent());
    setPlainTexts(box, QMessageBox::Question, message, detail);
    QPushButton* restore = box.addButton(QStringLiteral("Restore"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    // Escape and the window's close button need a button to answer with; this one stays
    // hidden and keeps the copy for a later start.
    QPushButton* dismiss = box.addButton(QMessageBox::Cancel);
    dismiss->hide();
    QAbstractButton* clicked = clickedIn(box, restore, dismiss);
    if (clicked == restore) return RestoreAnswer::restore;
    if (clicked == discard) return RestoreAnswer::discard;
    return RestoreAnswer::dismissed;
}

QStringList QtPrompts::chooseFilesToImport(const QString& directory, const QString& message) {
    FilePanel panel(dialogParent(), message, directory,
                    QStringLiteral("Soundvision files (*.pdf *.csv *.dxf *.txt)"));
    panel.dialog.setAcceptMode(QFileDialog::AcceptOpen);
    panel.dialog.setFileMode(QFileDialog::ExistingFiles);
    if (panel.dialog.exec() != QDialog::Accepted) return {};
    return panel.dialog.selectedFiles();
}

void QtPrompts::showAlert(const QString& text) {
    QMessageBox box(dialogParent());
    setPlainTexts(box, QMessageBox::Warning, QStringLiteral("Quorvane Rig"), text);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

bool QtPrompts::showAlertOffering(const QString& text, const QString& action) {
    QMessageBox box(dialogParent());
    setPlainTexts(box, QMessageBox::Warning, QStringLiteral("Quorvane Rig"), text);
    QPushButton* chosen = box.addButton(action, QMessageBox::ActionRole);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    return clickedIn(box, ok, ok) == chosen;
}

std::optional<QString> QtPrompts::chooseExportSaveFile(const ExportSave& request) {
    QPointer<QWidget> accessory = request.accessory;
    // Only Qt's own dialog can hold extra controls.
    FilePanel panel(dialogParent(), QString(), request.directory, request.nameFilter,
                    accessory ? QFileDialog::DontUseNativeDialog : QFileDialog::Options());
    QFileDialog& dialog = panel.dialog;
    prepareSave(dialog, request.directory, request.fileName, request.defaultSuffix);
    QWidget* accessoryParent = accessory ? accessory->parentWidget() : nullptr;
    if (accessory) {
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            grid->addWidget(accessory, grid->rowCount(), 0, 1, grid->columnCount());
        }
        accessory->show();
    }
    std::optional<QString> chosen = chosenFile(dialog);
    // Give the accessory back before the dialog and its children go.
    if (accessory) {
        accessory->hide();
        accessory->setParent(accessoryParent);
    }
    return chosen;
}

bool QtPrompts::confirmDeletion(const QString& message, const QString& detail) {
    return confirmWarning(dialogParent(), message, detail, "Delete");
}

Prompts::QuitAnswer QtPrompts::askToQuitWhileRunning(const QString& message, const QString& detail) {
    return askWarning(dialogParent(), message, detail,
                      std::pair{"Finish, Then Quit", QuitAnswer::finishFirst},
                      std::pair{"Quit Now", QuitAnswer::quitNow}, QuitAnswer::cancel);
}

bool QtPrompts::confirmQuitWithoutCopy(const QString& message, const QString& detail) {
    return confirmWarning(dialogParent(), message, detail, "Quit Anyway");
}

} // namespace rig::app
