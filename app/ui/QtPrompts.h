// The program's dialogs: QMessageBox and QFileDialog. Main thread only.
#pragma once

#include "Prompts.h"

#include <QPointer>
#include <QWidget>

namespace rig::app {

// The dialogs of the running program, on its active window, else on the main window (the
// program may be in the background when a question comes).
class QtPrompts : public Prompts {
public:
    void setMainWindow(QWidget* window) { mainWindow_ = window; }

    SaveAnswer askToSaveChanges(const QString& message, const QString& detail) override;
    std::optional<QString> chooseProjectToOpen(const QString& directory) override;
    std::optional<QString> chooseProjectSaveFile(const QString& directory, const QString& fileName) override;
    RestoreAnswer askToRestore(const QString& message, const QString& detail) override;
    QStringList chooseFilesToImport(const QString& directory, const QString& message) override;
    void showAlert(const QString& text) override;
    bool showAlertOffering(const QString& text, const QString& action) override;
    std::optional<QString> chooseExportSaveFile(const ExportSave& request) override;
    bool confirmDeletion(const QString& message, const QString& detail) override;
    QuitAnswer askToQuitWhileRunning(const QString& message, const QString& detail) override;
    bool confirmQuitWithoutCopy(const QString& message, const QString& detail) override;

private:
    QWidget* dialogParent() const;

    QPointer<QWidget> mainWindow_;
};

} // namespace rig::app
