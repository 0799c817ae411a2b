// The built program started as a desktop session starts it: side by side without a session
// bus, each keeping a recovery copy of its own through a crash; with a bus, a second start
// handing its files to the program already running.
#include "AppPaths.h"
#include "DesktopInstance.h"
#include "QtText.h"
#include "support/FakePrompts.h"
#include "support/SampleShow.h"
#include "support/SessionBus.h"
#include "support/Waiting.h"

#include "E2ETesting.h"

#include <QDBusConnectionInterface>
#include <QDir>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace rig::app {
namespace {

using namespace testing::e2e;
using testing::waitFor;

// Stores made in this process see the pass's settings and data folders.
struct PassPaths {
    AppPaths previous = appPaths();
    explicit PassPaths(const PassFolders& folders) {
        setAppPaths({folders.path("home/.config/QuorvaneRig/QuorvaneRig.conf"),
                     folders.path("home/.local/share/QuorvaneRig"),
                     folders.path("home/.local/share/recently-used.xbel")});
    }
    ~PassPaths() { setAppPaths(previous); }
};

QStringList recoveryCopies(const PassFolders& folders) {
    const QDir recovery(folders.path("home/.local/share/QuorvaneRig/Recovery"));
    QStringList copies;
    for (const QString& name : recovery.entryList({"*.qvrig"}, QDir::Files))
        copies << recovery.filePath(name);
    return copies;
}

// The program started with `arguments`, ended with the test at the latest.
struct Started {
    QProcess process;
    Started(const PassFolders& folders, const QStringList& arguments,
            const QMap<QString, QString>& variables = {}) {
        process.setProcessEnvironment(programEnvironment(folders, variables));
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral(RIG_PROGRAM), arguments);
        process.waitForStarted(30000);
    }
    ~Started() {
        if (process.state() == QProcess::NotRunning) return;
        process.kill();
        process.waitForFinished(30000);
    }
    bool running() const { return process.state() == QProcess::Running; }
    // How it ended, for a failure message.
    std::string ending() const {
        return process.exitStatus() == QProcess::CrashExit
                   ? "it crashed or was killed"
                   : "it ended with status " + std::to_string(process.exitCode());
    }
    // SIGKILL: the program gets no chance to save or clean up.
    void killOutright() {
        process.kill();
        process.waitForFinished(30000);
    }
};

TEST(Session, TwoProgramsKilledOutrightLoseNeitherUnsavedProject) {
    PassFolders folders;
    const auto show = test::writeSampleShow(toPath(folders.path("sample")));
    ASSERT_EQ(show.size(), 3u);
    const QString report = fromPath(show[0]), inventory = fromPath(show[1]);

    // Two untitled projects, each autosaved by its own program.
    Started first(folders, {report});
    ASSERT_TRUE(
        waitFor([&] { return recoveryCopies(folders).size() == 1 || !first.running(); }, programLimitMs));
    ASSERT_TRUE(first.running()) << first.ending();
    Started second(folders, {report, inventory});
    ASSERT_TRUE(
        waitFor([&] { return recoveryCopies(folders).size() == 2 || !second.running(); }, programLimitMs));
    ASSERT_TRUE(second.running()) << second.ending();
    std::map<QString, Project> copies;
    for (const QString& copy : recoveryCopies(folders))
        copies[copy] = Project::fromText(testing::readText(copy).toStdString());
    ASSERT_EQ(copies.size(), 2u);
    ASSERT_NE(copies.begin()->second.fileText(), copies.rbegin()->second.fileText());

    PassPaths paths(folders);
    testing::FakePrompts prompts;
    // While both run, a third start offers neither.
    testing::makeStore()->recovery().offerRestore();
    EXPECT_TRUE(prompts.shown().empty());

    first.killOutright();
    second.killOutright();
    // The next start offers the newer copy, the one after it (while the other runs) the older.
    std::vector<std::unique_ptr<ProjectStore>> starts;
    for (int start = 0; start < 2; ++start) {
        prompts.answerRestore(Prompts::RestoreAnswer::restore);
        starts.push_back(testing::makeStore());
        starts.back()->recovery().offerRestore();
    }
    ASSERT_EQ(prompts.count(testing::FakePrompts::Kind::restoreOffer), 2);
    EXPECT_FALSE(starts[0]->project().inventory.empty()) << "the second program's project first";
    for (const auto& store : starts) {
        const QString copy = store->recovery().copyPath();
        ASSERT_TRUE(copies.count(copy)) << copy.toStdString();
        EXPECT_EQ(store->project().fileText(), copies[copy].fileText());
        copies.erase(copy);
    }
}

using testing::PrivateBus;

TEST(Session, ALaterStartHandsItsFilesToTheProgramRunning) {
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    PassFolders folders;
    const auto show = test::writeSampleShow(toPath(folders.path("sample")));
    const QMap<QString, QString> onBus{{"DBUS_SESSION_BUS_ADDRESS", bus.address}};

    Started first(folders, {}, onBus);
    QDBusConnection watcher = QDBusConnection::connectToBus(bus.address, QStringLiteral("session-test"));
    const auto named = [&] {
        return watcher.interface()->isServiceRegistered(DesktopInstance::serviceName).value();
    };
    ASSERT_TRUE(waitFor([&] { return named() || !first.running(); }, programLimitMs));
    ASSERT_TRUE(first.running()) << first.ending();
    // Files, then a plain start: each handed over, each start ending at once and well.
    for (const QStringList& arguments : {QStringList{fromPath(show[0]), fromPath(show[1])}, QStringList{}}) {
        Started later(folders, arguments, onBus);
        ASSERT_TRUE(later.process.waitForFinished(programLimitMs)) << arguments.join(' ').toStdString();
        EXPECT_EQ(later.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(later.process.exitCode(), 0);
    }
    // The first program imported them into its untitled project, and autosaved it.
    ASSERT_TRUE(
        waitFor([&] { return !recoveryCopies(folders).isEmpty() || !first.running(); }, programLimitMs));
    EXPECT_TRUE(first.running()) << first.ending();
    const QStringList copies = recoveryCopies(folders);
    ASSERT_EQ(copies.size(), 1);
    const Project imported = Project::fromText(testing::readText(copies.front()).toStdString());
    EXPECT_EQ(imported.report.sources.size(), 7u);
    EXPECT_FALSE(imported.inventory.empty());
    QDBusConnection::disconnectFromBus(QStringLiteral("session-test"));
}

} // namespace
} // namespace rig::app
