// Scripted answers for the program's dialogs: tests say beforehand what the user will choose,
// in order, and read back what was shown.
#pragma once

#include "Prompts.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace rig::app::testing {

class FakePrompts : public Prompts {
public:
    enum class Kind {
        saveChanges,
        openPanel,
        savePanel,
        restoreOffer,
        importPanel,
        alert,
        exportPanel,
        deletion,
        quitWhileRunning,
        quitWithoutCopy
    };

    // What a prompt showed.
    struct Shown {
        Kind kind;
        QString text;      // message of an alert, caption of the import panel
        QString detail;    // informative text of a question, the action an alert offers
        QString directory; // starting folder of a panel
        QString fileName;  // proposed name of the save panel
    };

    // Installs itself as the program's prompts; the destructor puts the previous ones back and
    // fails the test when a scripted answer was never asked for.
    FakePrompts();
    ~FakePrompts() override;
    FakePrompts(const FakePrompts&) = delete;
    FakePrompts& operator=(const FakePrompts&) = delete;

    // Scripted answers, consumed in this order. `whileOpen` runs while the prompt is showing, as
    // timers and queued results do inside a modal loop. A prompt shown with no answer left, or
    // with an answer of another kind next, fails the test and answers as cancelled.
    void answerSave(SaveAnswer answer, std::function<void()> whileOpen = {});
    void answerOpen(std::optional<QString> file, std::function<void()> whileOpen = {});
    void answerSavePanel(std::optional<QString> file, std::function<void()> whileOpen = {});
    void answerRestore(RestoreAnswer answer, std::function<void()> whileOpen = {});
    void answerImport(QStringList files, std::function<void()> whileOpen = {});
    // `whileOpen` receives the export panel's accessory (null without one) to act on it.
    void answerExportSave(std::optional<QString> file,
                          std::function<void(QWidget* accessory)> whileOpen = {});
    // The answer to a deletion question: true is "Delete".
    void answerDeletion(bool confirm, std::function<void()> whileOpen = {});
    void answerQuitWhileRunning(QuitAnswer answer, std::function<void()> whileOpen = {});
    // The answer to the question before quitting without the recovery copy: true is "Quit Anyway".
    void answerQuitWithoutCopy(bool quit, std::function<void()> whileOpen = {});
    // The answer to the next alert: true chooses the action it offers. Unscripted, an alert
    // answers "OK".
    void answerAlert(bool chooseAction, std::function<void()> whileOpen = {});
    // Every export panel shown, in order.
    const std::vector<ExportSave>& exportSaves() const { return exportSaves_; }

    const std::vector<Shown>& shown() const { return shown_; }
    int count(Kind kind) const;
    // The last prompt of that kind; fails the test when there was none.
    Shown last(Kind kind) const;
    bool allAnswered() const { return answers_.empty(); }

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
    struct Answer {
        explicit Answer(Kind k) : kind(k) {}
        Kind kind;
        SaveAnswer save = SaveAnswer::cancel;
        RestoreAnswer restore = RestoreAnswer::dismissed;
        QuitAnswer quit = QuitAnswer::cancel;
        std::optional<QString> file;
        QStringList files;
        bool confirm = false;
        std::function<void()> whileOpen;
    };
    // Records the prompt and takes the next answer when it is of this kind.
    std::optional<Answer> take(Shown shown);

    std::deque<Answer> answers_;
    std::vector<Shown> shown_;
    Prompts* previous_ = nullptr;
    std::vector<ExportSave> exportSaves_;
    QWidget* openAccessory_ = nullptr;
};

} // namespace rig::app::testing
