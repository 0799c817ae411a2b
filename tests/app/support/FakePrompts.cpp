#include "support/FakePrompts.h"

#include <gtest/gtest.h>

#include <utility>

namespace rig::app::testing {

namespace {
const char* kindName(FakePrompts::Kind kind) {
    switch (kind) {
    case FakePrompts::Kind::saveChanges:
        return "save prompt";
    case FakePrompts::Kind::openPanel:
        return "open panel";
    case FakePrompts::Kind::savePanel:
        return "save panel";
    case FakePrompts::Kind::restoreOffer:
        return "restore offer";
    case FakePrompts::Kind::importPanel:
        return "import panel";
    case FakePrompts::Kind::alert:
        return "alert";
    case FakePrompts::Kind::exportPanel:
        return "export panel";
    case FakePrompts::Kind::deletion:
        return "deletion question";
    case FakePrompts::Kind::quitWhileRunning:
        return "question about quitting while work runs";
    case FakePrompts::Kind::quitWithoutCopy:
        return "question about quitting without a copy";
    }
    return "?";
}
} // namespace

FakePrompts::FakePrompts() : previous_(setPrompts(this)) {}

FakePrompts::~FakePrompts() {
    setPrompts(previous_);
    for (const Answer& answer : answers_)
        ADD_FAILURE() << "scripted " << kindName(answer.kind) << " never shown";
}

void FakePrompts::answerSave(SaveAnswer answer, std::function<void()> whileOpen) {
    Answer a{Kind::saveChanges};
    a.save = answer;
    a.whileOpen = std::move(whileOpen);
    answers_.push_back(std::move(a));
}

void FakePrompts::answerOpen(std::optional<QString> file, std::function<void()> whileOpen) {
    Answer a{Kind::openPanel};
    a.file = std::move(file);
    a.whileOpen = std::move(whileOpen);
    answers_.push_back(std::move(a));
}

void FakePrompts::answerSavePanel(std::optional<QString> file, std::function<void()> whileOpen) {
    Answer a{Kind::savePanel};
    a.file = std::move(file);
    a.whileOpen = std::move(whileOpen);
    answers_.push_back(std::move(a));
}

void FakePrompts::answerRestore(RestoreAnswer answer, std::function<void()> whileOpen) {
    Answer a{Kind::restoreOffer};
    a.restore = answer;
    a.whileOpen = std::move(whileOpen);
    answers_.push_back(std::move(a));
}

void FakePrompts::answerImport(QStringList files, std::function<void()> whileOpen) {
    Answer a{Kind::importPanel};
    a.files = std::move(files);
    a.whileOpen = std::move(whileOpen);
    answers_.push_back(std::move(a));
}

void FakePrompts::answerExportSave(std::optional<QString> file, std::function<void(QWidget*)> whileOpen) {
    Answer a{Kind::exportPanel};
    a.file = std::move(file);
    if (whileOpen) a.whileOpen = [this, act = std::move(whileOpen)] { act(openAccessory_); };
    answers_.push_back(std::move(a));
}

void FakePrompts::answerDeletion(bool confirm, std::function<void()> whileOpen) {
    Answer a{Kind::deletion};
    a.confirm = confirm;
    a.whileOpen = std::move(whileOpen);
    answers_.push_back(std::move(a));
}

void FakePrompts::answerQuitWhileRunning(QuitAnswer answer, std::function<void()> whileOpen) {
    Answer a{Kind::quitWhileRunning};
    a.quit = answer;
    a.whileOpen = std::move(whileOpen);
    answers_.push_back(std::move(a));
}

void FakePrompts::answerQuitWithoutCopy(bool quit, std::function<void()> whileOpen) {
    Answer a{Kind::quitWithoutCopy};
    a.confirm = quit;
    a.whileOpen = std::move(whileOpen);
    answers_.push_back(std::move(a));
}

void FakePrompts::answerAlert(bool chooseAction, std::function<void()> whileOpen) {
    Answer a{Kind::alert};
    a.confirm = chooseAction;
    a.whileOpen = std::move(whileOpen);
    answers_.push_back(std::move(a));
}

int FakePrompts::count(Kind kind) const {
    int n = 0;
    for (const Shown& s : shown_) n += s.kind == kind ? 1 : 0;
    return n;
}

FakePrompts::Shown FakePrompts::last(Kind kind) const {
    for (auto it = shown_.rbegin(); it != shown_.rend(); ++it) {
        if (it->kind == kind) return *it;
    }
    ADD_FAILURE() << "no " << kindName(kind) << " was shown";
    return {kind, {}, {}, {}, {}};
}

std::optional<FakePrompts::Answer> FakePrompts::take(Shown shown) {
    shown_.push_back(std::move(shown));
    const Kind kind = shown_.back().kind;
    if (answers_.empty()) {
        ADD_FAILURE() << "unexpected " << kindName(kind);
        return std::nullopt;
    }
    if (answers_.front().kind != kind) {
        ADD_FAILURE() << kindName(kind) << " shown while a " << kindName(answers_.front().kind)
                      << " was expected";
        return std::nullopt;
    }
    Answer answer = std::move(answers_.front());
    answers_.pop_front();
    if (answer.whileOpen) answer.whileOpen();
    return answer;
}

Prompts::SaveAnswer FakePrompts::askToSaveChanges(const QString& message, const QString& detail) {
    auto answer = take({Kind::saveChanges, message, detail, {}, {}});
    return answer ? answer->save : SaveAnswer::cancel;
}

std::optional<QString> FakePrompts::chooseProjectToOpen(const QString& directory) {
    auto answer = take({Kind::openPanel, {}, {}, directory, {}});
    return answer ? answer->file : std::nullopt;
}

std::optional<QString> FakePrompts::chooseProjectSaveFile(const QString& directory, const QString& fileName) {
    auto answer = take({Kind::savePanel, {}, {}, directory, fileName});
    return answer ? answer->file : std::nullopt;
}

Prompts::RestoreAnswer FakePrompts::askToRestore(const QString& message, const QString& detail) {
    auto answer = take({Kind::restoreOffer, message, detail, {}, {}});
    return answer ? answer->restore : RestoreAnswer::dismissed;
}

QStringList FakePrompts::chooseFilesToImport(const QString& directory, const QString& message) {
    auto answer = take({Kind::importPanel, message, {}, directory, {}});
    return answer ? answer->files : QStringList();
}

void FakePrompts::showAlert(const QString& text) {
    if (!answers_.empty() && answers_.front().kind == Kind::alert)
        take({Kind::alert, text, {}, {}, {}});
    else
        shown_.push_back({Kind::alert, text, {}, {}, {}});
}

bool FakePrompts::showAlertOffering(const QString& text, const QString& action) {
    Shown shown{Kind::alert, text, action, {}, {}};
    if (answers_.empty() || answers_.front().kind != Kind::alert) {
        shown_.push_back(std::move(shown));
        return false;
    }
    auto answer = take(std::move(shown));
    return answer && answer->confirm;
}

std::optional<QString> FakePrompts::chooseExportSaveFile(const ExportSave& request) {
    exportSaves_.push_back(request);
    openAccessory_ = request.accessory;
    auto answer = take({Kind::exportPanel, {}, {}, request.directory, request.fileName});
    openAccessory_ = nullptr;
    return answer ? answer->file : std::nullopt;
}

bool FakePrompts::confirmDeletion(const QString& message, const QString& detail) {
    auto answer = take({Kind::deletion, message, detail, {}, {}});
    return answer && answer->confirm;
}

bool FakePrompts::confirmQuitWithoutCopy(const QString& message, const QString& detail) {
    auto answer = take({Kind::quitWithoutCopy, message, detail, {}, {}});
    return answer && answer->confirm;
}

Prompts::QuitAnswer FakePrompts::askToQuitWhileRunning(const QString& message, const QString& detail) {
    auto answer = take({Kind::quitWhileRunning, message, detail, {}, {}});
    return answer ? answer->quit : QuitAnswer::cancel;
}

} // namespace rig::app::testing
