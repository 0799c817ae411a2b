#include "shell/Prompts.h"
#include "support/ModalTesting.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace rig::app {
namespace {

using testing::whenModalShows;

std::function<void(QWidget*)> click(const QString& text) {
    return [text](QWidget* modal) {
        for (QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
            if (button->text() == text && button->isVisible()) {
                button->click();
                return;
            }
        }
        ADD_FAILURE() << "no visible button " << text.toStdString();
        modal->close();
    };
}

void pressEscape(QWidget* modal) {
    QTest::keyClick(modal, Qt::Key_Escape);
}

TEST(QtPrompts, QuestionsAnswerByButtonAndEscapeNeverLosesAnything) {
    const struct {
        const char* name;
        std::function<void(QWidget*)> act;
        Prompts::SaveAnswer expected;
    } saves[] = {
        {"Save", click("Save"), Prompts::SaveAnswer::save},
        {"Don’t Save", click(QStringLiteral("Don’t Save")), Prompts::SaveAnswer::dontSave},
        {"Cancel", click("Cancel"), Prompts::SaveAnswer::cancel},
        {"Escape", pressEscape, Prompts::SaveAnswer::cancel},
        {"Return", [](QWidget* m) { QTest::keyClick(m, Qt::Key_Return); }, Prompts::SaveAnswer::save},
    };
    QtPrompts qt;
    for (const auto& c : saves) {
        whenModalShows(c.act);
        EXPECT_EQ(qt.askToSaveChanges("Save changes to “A”?", "detail"), c.expected) << c.name;
    }
    const struct {
        const char* name;
        std::function<void(QWidget*)> act;
        Prompts::RestoreAnswer expected;
    } restores[] = {
        {"Restore", click("Restore"), Prompts::RestoreAnswer::restore},
        {"Discard", click("Discard"), Prompts::RestoreAnswer::discard},
        {"Escape", pressEscape, Prompts::RestoreAnswer::dismissed},
        {"closed", [](QWidget* m) { m->close(); }, Prompts::RestoreAnswer::dismissed},
    };
    for (const auto& c : restores) {
        whenModalShows(c.act);
        EXPECT_EQ(qt.askToRestore("Restore unsaved project “A”?", "detail"), c.expected) << c.name;
    }
    whenModalShows(pressEscape);
    qt.showAlert("Could not save: Permission denied"); // returns
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

TEST(QtPrompts, ProjectPanelsOfferProjectDocuments) {
    QTemporaryDir dir;
    QtPrompts qt;

    QStringList filters;
    whenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        static_cast<QDialog*>(dialog)->accept();
    });
    const auto saved = qt.chooseProjectSaveFile(dir.path(), "Main Stage.qvrig");
    EXPECT_EQ(filters, QStringList{"Quorvane Rig project (*.qvrig)"});
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(*saved, QDir(dir.path()).filePath("Main Stage.qvrig"));

    whenModalShows([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(qt.chooseProjectToOpen(dir.path()).has_value());
    whenModalShows([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_TRUE(qt.chooseFilesToImport(dir.path(), "Choose").isEmpty());
}

} // namespace
} // namespace rig::app
