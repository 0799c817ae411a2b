#include "QtPrompts.h"
#include "support/ModalTesting.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

#include <sys/inotify.h>
#include <unistd.h>

namespace rig::app {
namespace {

using testing::whenModalShows;

std::function<void(QWidget*)> click(const QString& text) {
    return [text](QWidget* modal) {
        for (QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
            if (button->text() == text && button->isVisible()) return button->click();
        }
        ADD_FAILURE() << "no visible button " << text.toStdString();
        modal->close();
    };
}

void pressEscape(QWidget* modal) {
    QTest::keyClick(modal, Qt::Key_Escape);
}

void pressReturn(QWidget* modal) {
    QTest::keyClick(modal, Qt::Key_Return);
}

void closeWindow(QWidget* modal) {
    modal->close();
}

TEST(QtPrompts, QuestionsAnswerByButtonAndEscapeNeverLosesAnything) {
    using Save = Prompts::SaveAnswer;
    using Restore = Prompts::RestoreAnswer;
    QtPrompts qt;
    const std::pair<std::function<void(QWidget*)>, Save> saves[] = {
        {click("Save"), Save::save},     {click(QStringLiteral("Don’t Save")), Save::dontSave},
        {click("Cancel"), Save::cancel}, {pressEscape, Save::cancel},
        {closeWindow, Save::cancel},     {pressReturn, Save::save},
    };
    for (const auto& [act, expected] : saves) {
        whenModalShows(act);
        EXPECT_EQ(qt.askToSaveChanges("Save changes to “A”?", "detail"), expected);
    }
    const std::pair<std::function<void(QWidget*)>, Restore> restores[] = {
        {click("Restore"), Restore::restore}, {click("Discard"), Restore::discard},
        {pressEscape, Restore::dismissed},    {closeWindow, Restore::dismissed},
        {pressReturn, Restore::restore},
    };
    for (const auto& [act, expected] : restores) {
        whenModalShows(act);
        EXPECT_EQ(qt.askToRestore("Restore unsaved project “A”?", "detail"), expected);
    }
    // Only a click on "Delete" deletes; Return answers "Cancel".
    const std::pair<std::function<void(QWidget*)>, bool> deletions[] = {
        {click("Delete"), true}, {click("Cancel"), false}, {pressEscape, false},
        {closeWindow, false},    {pressReturn, false},
    };
    for (const auto& [act, expected] : deletions) {
        whenModalShows(act);
        EXPECT_EQ(qt.confirmDeletion("Delete this link?", "https://x.example/c/a"), expected);
    }
    // Waiting for running work is the default; only its own button quits at once.
    using Quit = Prompts::QuitAnswer;
    const std::pair<std::function<void(QWidget*)>, Quit> quits[] = {
        {click("Quit Now"), Quit::quitNow}, {pressEscape, Quit::cancel}, {pressReturn, Quit::finishFirst}};
    for (const auto& [act, expected] : quits) {
        whenModalShows(act);
        EXPECT_EQ(qt.askToQuitWhileRunning("Quit while “A.pdf” is still being written?", "detail"), expected);
    }
    // An alert's offer is taken only by its own button; Return is "OK".
    const std::pair<std::function<void(QWidget*)>, bool> offers[] = {
        {click("Publish Under a New Link"), true},
        {click("OK"), false},
        {pressEscape, false},
        {closeWindow, false},
        {pressReturn, false},
    };
    for (const auto& [act, expected] : offers) {
        whenModalShows(act);
        EXPECT_EQ(qt.showAlertOffering("Publishing failed: Unknown link", "Publish Under a New Link"),
                  expected);
    }
}

TEST(QtPrompts, InTheBackgroundTheMainWindowIsTheParent) {
    QWidget window; // never shown: no window of the program is active
    QtPrompts qt;
    qt.setMainWindow(&window);
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    QWidget* parent = nullptr;
    whenModalShows([&](QWidget* modal) {
        parent = modal->parentWidget();
        pressEscape(modal);
    });
    qt.showAlert("Could not save: disk full");
    EXPECT_EQ(parent, &window);
}

TEST(QtPrompts, TextsFromTheProjectAreNotMarkup) {
    QtPrompts qt;
    QStringList texts;
    whenModalShows([&](QWidget* modal) {
        for (QLabel* label : modal->findChildren<QLabel*>()) {
            if (label->textFormat() == Qt::PlainText) texts << label->text();
        }
        pressEscape(modal);
    });
    qt.askToRestore("Restore unsaved project “<b>A</b>”?", "Crew link: <i>x</i>");
    EXPECT_TRUE(texts.contains("Restore unsaved project “<b>A</b>”?")) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains("Crew link: <i>x</i>")) << texts.join('|').toStdString();
}

// Files are told apart by name: a panel reading them for their icons hangs for good on a device
// that never answers (/proc/kmsg as root). inotify sees any open of the file.
TEST(QtPrompts, FilePanelsNeverReadAFileToShowIt) {
    QTemporaryDir root;
    const QString folder = root.filePath("show");
    ASSERT_TRUE(QDir().mkpath(folder) && testing::writeText(folder + "/notes", "what is this"));
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, QFile::encodeName(folder + "/notes").constData(), IN_OPEN), 0);
    // Into the folder as a user types it, until the panel has listed it.
    const auto browse = [&](QWidget* modal) {
        QSignalSpy loaded(modal->findChild<QFileSystemModel*>(), &QFileSystemModel::directoryLoaded);
        if (auto* name = modal->findChild<QLineEdit*>("fileNameEdit")) {
            name->setText(folder);
            QTest::keyClick(name, Qt::Key_Return);
        }
        EXPECT_TRUE(testing::waitFor([&] { return loaded.contains({folder}); })) << "Qt's own panel";
        pressEscape(modal);
    };
    QtPrompts qt;
    QWidget accessory;
    const std::function<void()> panels[] = {
        [&] { qt.chooseProjectToOpen(root.path()); },
        [&] { qt.chooseProjectSaveFile(root.path(), "Show.qvrig"); },
        [&] { qt.chooseFilesToImport(root.path(), "Choose"); },
        [&] {
            qt.chooseExportSaveFile({root.path(), "Show.csv", "CSV (*.csv)", "csv"});
        },
        [&] {
            qt.chooseExportSaveFile({root.path(), "Show.dxf", "DXF (*.dxf)", "dxf", &accessory});
        },
    };
    for (const auto& panel : panels) {
        testing::whenModalShows(browse);
        panel();
    }
    char seen[4096];
    EXPECT_LE(read(watch, seen, sizeof seen), 0) << "a panel opened the file";
    close(watch);
}

} // namespace
} // namespace rig::app
