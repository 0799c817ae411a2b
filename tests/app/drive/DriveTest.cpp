#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/FakePrompts.h"
#include "support/TempDir.h"
#include "support/Waiting.h"

#include "CrewWebView.h"
#include "MainWindow.h"
#include "Program.h"
#include "ProjectStore.h"
#include "QtText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QTest>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace testing;

TEST(Drive, CrewViewClick) {
    TempAppPaths paths;
    FakePrompts prompts;
    test::TempDir files;
    const QString show = fromPath(files.write("show.qvrig", showProject().fileText()));
    Program program;
    program.start({});
    MainWindow& w = program.mainWindow();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    prompts.answerOpen(show);
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([&] { return program.store().filePath() == show; }));
    w.toolbar().modes->button(int(Mode::crew))->click();
    auto* crew = w.findChild<CrewWebView*>();
    ASSERT_NE(crew, nullptr);
    ASSERT_TRUE(waitForDrawn(*crew));
    QWidget* target = crew->view()->focusProxy();
    ASSERT_NE(target, nullptr);
    fprintf(stderr, "focus proxy %s\n", target->metaObject()->className());
    target->setFocus(Qt::MouseFocusReason);
    QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(200, 200));
    QTest::qWait(500);
    EXPECT_TRUE(w.isVisible());
}

} // namespace
} // namespace rig::app
