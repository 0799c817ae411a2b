#include "Prompts.h"

#include <QtGlobal>

namespace rig::app {

Prompts::~Prompts() = default;

bool Prompts::showAlertOffering(const QString& text, const QString&) {
    showAlert(text);
    return false;
}

namespace {

Prompts* replacement = nullptr;
Prompts* standard = nullptr;

// Answers every question the safe way (cancel, keep the recovery copy) when no dialogs were set
// up: a library user without a window must never block or crash on a question.
class UnansweredPrompts : public Prompts {
public:
    SaveAnswer askToSaveChanges(const QString&, const QString&) override { return SaveAnswer::cancel; }
    std::optional<QString> chooseProjectToOpen(const QString&) override { return std::nullopt; }
    std::optional<QString> chooseProjectSaveFile(const QString&, const QString&) override {
        return std::nullopt;
    }
    RestoreAnswer askToRestore(const QString&, const QString&) override { return RestoreAnswer::dismissed; }
    QStringList chooseFilesToImport(const QString&, const QString&) override { return {}; }
    void showAlert(const QString& text) override { qWarning("%s", qUtf8Printable(text)); }
    std::optional<QString> chooseExportSaveFile(const ExportSave&) override { return std::nullopt; }
    bool confirmDeletion(const QString&, const QString&) override { return false; }
    bool confirmQuitWithoutCopy(const QString&, const QString&) override { return false; }
    // Waiting loses nothing, and the work ends by itself.
    QuitAnswer askToQuitWhileRunning(const QString&, const QString&) override {
        return QuitAnswer::finishFirst;
    }
};

} // namespace

Prompts& prompts() {
    static UnansweredPrompts unanswered;
    if (replacement) return *replacement;
    return standard ? *standard : unanswered;
}

Prompts* setPrompts(Prompts* newReplacement) {
    Prompts* previous = replacement;
    replacement = newReplacement;
    return previous;
}

void setStandardPrompts(Prompts* dialogs) {
    standard = dialogs;
}

} // namespace rig::app
