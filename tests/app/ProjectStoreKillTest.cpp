// The recovery copy outlives a process that is killed outright: the test runs this test
// program again as a child that edits and autosaves, kills it with SIGKILL, and restores.
#include "support/StoreTesting.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

namespace rig::app {
namespace {

const char* const rootVariable = "RIG_KILL_TEST_ROOT";

// The child's edits, one assignment each, as the pages make them.
std::vector<Project> edits() {
    Project p = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 8),
                                       fixtures::flownArray("Main R", {"ALL", "Main"}, 8)});
    std::vector<Project> steps{p};
    p.name = "Kill test show";
    p.setExtra(p.report.sources[0].id(), "Rear", PointExtra{fixtures::testMotor("D8+ 500 kg", 38, 2), true});
    steps.push_back(p);
    p.report.sources.edit()[1].pickups.edit()[0].position.z = fixtures::notANumber;
    steps.push_back(p);
    return steps;
}

TEST(ProjectStoreKill, Child) {
    const QString root = qEnvironmentVariable(rootVariable);
    if (root.isEmpty()) GTEST_SKIP() << "started by ProjectStoreKill.RecoveryCopySurvivesSIGKILL";
    setAppPaths({root + "/config/QuorvaneRig.conf", root + "/data/QuorvaneRig"});
    ProjectStore store;
    store.setDelays(testing::shortDelays());
    QSignalSpy autosaved(&store, &ProjectStore::autosaveFinished);
    for (const Project& step : edits()) store.setProject(step);
    ASSERT_TRUE(autosaved.wait(30000));
    std::printf("autosaved\n");
    std::fflush(stdout);
    // Wait to be killed; a lost parent never leaves us hanging.
    QEventLoop loop;
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    FAIL() << "not killed";
}

TEST(ProjectStoreKill, RecoveryCopySurvivesSIGKILL) {
    testing::TempAppPaths paths;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(rootVariable, paths.root());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ProjectStoreKill.Child"});
    ASSERT_TRUE(child.waitForStarted(30000));

    QByteArray output;
    while (!output.contains("autosaved\n")) {
        ASSERT_EQ(child.state(), QProcess::Running) << output.toStdString();
        ASSERT_TRUE(child.waitForReadyRead(60000)) << output.toStdString();
        output += child.readAllStandardOutput();
    }
    ASSERT_EQ(::kill(static_cast<pid_t>(child.processId()), SIGKILL), 0);
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    testing::FakePrompts prompts;
    prompts.answerRestore(Prompts::RestoreAnswer::restore);
    auto store = testing::makeStore();
    store->offerRestore();
    EXPECT_EQ(prompts.last(testing::FakePrompts::Kind::restoreOffer).text,
              "Restore unsaved project “Kill test show”?");
    EXPECT_EQ(store->project().fileText(), edits().back().fileText());
    EXPECT_TRUE(store->isDirty());
}

} // namespace
} // namespace rig::app
