// Every modal dialog and file panel of the program goes through this interface, so tests can
// answer them without running a modal loop. Main thread only.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace rig::app {

class Prompts {
public:
    virtual ~Prompts();

    enum class SaveAnswer { save, cancel, dontSave };
    enum class RestoreAnswer { restore, discard, dismissed };
    enum class QuitAnswer { finishFirst, quitNow, cancel };

    // The save prompt before a project is dropped: "Save" (the default), "Cancel", "Don’t Save".
    // Escape and closing the prompt answer cancel.
    virtual SaveAnswer askToSaveChanges(const QString& message, const QString& detail) = 0;

    // The open panel for one project document, starting in `directory` (empty: no preference).
    // Absent when cancelled.
    virtual std::optional<QString> chooseProjectToOpen(const QString& directory) = 0;

    // The save panel for a project document, proposing `fileName` in `directory`.
    // Absent when cancelled.
    virtual std::optional<QString> chooseProjectSaveFile(const QString& directory,
                                                         const QString& fileName) = 0;

    // The offer to restore the recovery copy: "Restore", "Discard". Escape and closing it answer
    // dismissed, which keeps the copy.
    virtual RestoreAnswer askToRestore(const QString& message, const QString& detail) = 0;

    // The import panel: any number of report, inventory and loudspeaker files, starting in
    // `directory`, with `message` telling what to choose. Empty when cancelled.
    virtual QStringList chooseFilesToImport(const QString& directory, const QString& message) = 0;

    // The program's alert: titled "Quorvane Rig", one "OK" button, `text` shown as plain text.
    virtual void showAlert(const QString& text) = 0;
    // The same alert with a second button, `action`, beside "OK" (the default). Escape and
    // closing it answer "OK". True for `action`. Unless replaced: the plain alert, then false.
    virtual bool showAlertOffering(const QString& text, const QString& action);

    // The save panel of an export, proposing `fileName` in `directory` (empty: no preference),
    // listing files of `nameFilter` and adding `defaultSuffix` to a name typed without one.
    // `accessory` (may be null) is shown below the file list while the panel is open and stays
    // the caller's. Absent when cancelled.
    struct ExportSave {
        QString directory;
        QString fileName;
        QString nameFilter;
        QString defaultSuffix;
        QWidget* accessory = nullptr;
    };
    virtual std::optional<QString> chooseExportSaveFile(const ExportSave& request) = 0;

    // Before quitting while work the user started still runs (a PDF being written, a publish):
    // "Finish, Then Quit" (the default), "Quit Now", "Cancel". Escape and closing it answer
    // cancel.
    virtual QuitAnswer askToQuitWhileRunning(const QString& message, const QString& detail) = 0;

    // A question before something is deleted for good: "Delete" (destructive) or "Cancel".
    // Escape and closing it answer cancel. True for "Delete".
    virtual bool confirmDeletion(const QString& message, const QString& detail) = 0;

    // Before quitting when the copy "Don’t Save" promised could not be written: "Quit Anyway"
    // (destructive) or "Cancel" (the default). Escape and closing it answer cancel. True for
    // "Quit Anyway".
    virtual bool confirmQuitWithoutCopy(const QString& message, const QString& detail) = 0;
};

// The file-panel filter of project documents.
inline constexpr const char* projectFileFilter = "Quorvane Rig project (*.qvrig)";

// The prompts in use: the replacement, else the standard dialogs, else answers that cancel.
Prompts& prompts();
// Replaces the prompts in use (nullptr: back to the standard dialogs) and returns the previous
// replacement or nullptr. The caller keeps ownership.
Prompts* setPrompts(Prompts* replacement);
// The program's own dialogs, set up by whoever owns the window (nullptr: none). The caller
// keeps ownership.
void setStandardPrompts(Prompts* dialogs);

} // namespace rig::app
