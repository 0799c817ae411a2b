#include "QtPrompts.h"
#include "support/ModalTesting.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

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

} // namespace
} // namespace rig::app
