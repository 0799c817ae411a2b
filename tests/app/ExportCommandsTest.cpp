#include "ExportCommands.h"
#include "DXFOptionsForm.h"
#include "DXFSettings.h"
#include "PdfPrinter.h"
#include "Reveal.h"
#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/CsvTesting.h"
#include "support/DxfTesting.h"
#include "support/FakePrompts.h"
#include "support/ModalTesting.h"
#include "support/ProjectFixtures.h"

#include "AppPaths.h"
#include "ProjectStore.h"
#include "QtPrompts.h"
#include "analysis/RigDXF.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace rig::fixtures;

// No export here may open the file manager.
struct RevealIsAFault : Reveal {
    void reveal(const QString& file) override { ADD_FAILURE() << "revealed " << file.toStdString(); }
};

struct Env {
    testing::TempAppPaths paths;
    testing::FakePrompts prompts;
    testing::HeldStore store;
    DXFSettings dxf;
    RevealIsAFault reveal;
    PdfPrinter printer;
    ExportCommands commands{store, dxf, printer, reveal};
    QTemporaryDir out;
    Project project = fullProject();

    QString file(const QString& name) const { return out.filePath(name); }
    QStringList written() const {
        return QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QString remembered() const { return settings().value(lastExportDirectoryKey).toString(); }
};

TEST(ExportCommands, FilesGoWhereChosenCancelWritesNothingAndFailuresSayWhy) {
    Env env;
    env.project.name = "AC/DC";
    env.project.report.sources.edit()[0].name = "Main; \"left\"";
    Pickup& formula = env.project.report.sources.edit()[0].pickups.mut(0);
    formula.role = "=HYPERLINK(\"http://x.test\";\"open\")";
    formula.position.x = -1.5;
    settings().setValue(lastExportDirectoryKey, "/somewhere/else");
    env.prompts.answerExportSave(std::nullopt);
    env.commands.exportCSV(env.project);
    env.prompts.answerExportSave(std::nullopt);
    env.commands.exportPDF(env.project, true);
    EXPECT_EQ(env.printer.jobCount(), 0);
    EXPECT_EQ(env.prompts.exportSaves().at(0).directory, "/somewhere/else");
    EXPECT_EQ(env.prompts.exportSaves().at(0).fileName, "ACDC – rigging points.csv"); // no folder in a name
    // Nor a control or direction character; a long name is cut to fit.
    env.project.name = "AC/DC\n\t\x1B[2J\u202E" + std::string(300, 'x');
    env.prompts.answerExportSave(std::nullopt);
    env.commands.exportDXF(env.project);
    EXPECT_EQ(env.prompts.exportSaves().back().fileName,
              "ACDC[2J" + QString(225, 'x') + " – rigging points.dxf");
    env.project.name = "AC/DC";
    EXPECT_EQ(env.remembered(), "/somewhere/else");
    EXPECT_TRUE(env.written().isEmpty());

    env.prompts.answerExportSave(env.file("points.csv"));
    env.commands.exportCSV(env.project);
    EXPECT_EQ(env.written(), QStringList{"points.csv"}); // no temporary left behind
    EXPECT_EQ(env.remembered(), env.out.path());
    EXPECT_FALSE(env.store.errorMessage().has_value());
    QFile csv(env.file("points.csv"));
    const auto records = testing::readCsv(csv.open(QIODevice::ReadOnly) ? csv.readAll().toStdString() : "");
    ASSERT_TRUE(records && records->size() > 5u);
    ASSERT_EQ((*records)[1].size(), 14u);
    EXPECT_EQ((*records)[1][1], "Main; \"left\"");
    // A spreadsheet takes the name for text, the number for a number.
    EXPECT_EQ((*records)[1][2], "'=HYPERLINK(\"http://x.test\";\"open\")");
    EXPECT_EQ((*records)[1][4], "-1.50");
    // The next panel opens in that folder, whichever command it belongs to.
    env.prompts.answerExportSave(std::nullopt);
    env.commands.exportDXF(env.project);
    EXPECT_EQ(env.prompts.exportSaves().back().directory, env.out.path());

    // A failed write says why and leaves nothing behind; the next panel opens where the last
    // file was written, never in a folder that took none (such as /proc, whose devices hang a
    // panel that reads them).
    for (const QString& failing :
         {env.file("gone/x.csv"), env.file("points.csv/x.dxf"), QString("/proc/x.csv")}) {
        env.store.setErrorMessage(std::nullopt);
        env.prompts.answerExportSave(failing);
        if (failing.endsWith(".dxf")) {
            env.commands.exportDXF(env.project);
        } else {
            env.commands.exportCSV(env.project);
        }
        EXPECT_TRUE(env.store.errorMessage() && env.store.errorMessage()->startsWith(
                                                    "Could not save " + QFileInfo(failing).fileName() + ": "))
            << failing.toStdString();
        env.prompts.answerExportSave(std::nullopt);
        env.commands.exportCSV(env.project);
        EXPECT_EQ(env.prompts.exportSaves().back().directory, env.out.path()) << failing.toStdString();
    }
    EXPECT_EQ(env.written(), QStringList{"points.csv"});

    // The DXF takes the panel's options, even a height never confirmed with Return, and keeps them.
    env.project.report.sources.edit()[0].groups = List<std::string>{"ALL", "Scène"};
    env.prompts.answerExportSave(env.file("rig.dxf"), [](QWidget* panelAccessory) {
        auto* accessory = qobject_cast<DXFAccessory*>(panelAccessory);
        ASSERT_NE(accessory, nullptr);
        accessory->show();
        QTest::mouseClick(accessory->dropsBox(), Qt::LeftButton);
        accessory->footprintsBox()->setFocus();
        QTest::keyClick(accessory->footprintsBox(), Qt::Key_End);
        accessory->heightEdit()->setFocus();
        accessory->heightEdit()->selectAll();
        QTest::keyClicks(accessory->heightEdit(), "2,5");
    });
    env.commands.exportDXF(env.project);
    const RigDXF::Options kept = DXFSettings().options(); // for the next run
    EXPECT_TRUE(kept.drops && kept.footprints == RigDXF::Options::Footprints::height &&
                kept.footprintHeight == 2.5);

    const testing::DxfSeen seen = testing::readDxf(env.file("rig.dxf"));
    ASSERT_TRUE(seen.read);
    EXPECT_TRUE(seen.hasLayer("RIG_SCÈNE")); // an accented group still exports
    const auto outline = seen.linesOn("RIG_SPEAKERS");
    ASSERT_FALSE(outline.empty());
    for (const DL_LineData& l : outline) EXPECT_DOUBLE_EQ(l.z1, 2.5);
}

TEST(ExportCommands, OnlyTheRiggerDocumentCarriesTheLinkAndItsQRCode) {
    const Project p = fullProject();
    const CrewDoc rigging = exportCrewDoc(p, false, testDate()), crew = exportCrewDoc(p, true, testDate());
    EXPECT_TRUE(p.share && rigging.link == p.share->url && rigging.qr &&
                rigging.qr->starts_with("data:image/png;base64,"));
    EXPECT_FALSE(crew.link || crew.qr);
}

TEST(QtPrompts, ExportPanelShowsTheAccessoryAndGivesItBack) {
    testing::TempAppPaths paths;
    QTemporaryDir dir;
    DXFSettings dxf;
    DXFAccessory accessory(dxf); // the caller's: applied after the panel closes, never deleted with it
    QtPrompts qt;
    bool shownInside = false;
    testing::whenModalShows([&](QWidget* modal) {
        shownInside = accessory.isVisible() && modal->isAncestorOf(&accessory);
        qobject_cast<QDialog*>(modal)->accept();
    });
    EXPECT_EQ(qt.chooseExportSaveFile({dir.path(), "Rig.dxf", "DXF drawing (*.dxf)", "dxf", &accessory}),
              QDir(dir.path()).filePath("Rig.dxf"));
    EXPECT_TRUE(shownInside && accessory.parentWidget() == nullptr);
}

// Stands in for the desktop's file manager.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

TEST(Reveal, TheFileManagerShowsTheFileAndOnlyWithoutOneTheFolderOpens) {
    QTemporaryDir dir;
    const QString file = dir.filePath("crew sheets é.pdf");
    QList<QUrl> opened;
    // A private session bus, ended with the test.
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(testing::waitFor([&] { return daemon.canReadLine(); }));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QDBusConnection client = QDBusConnection::connectToBus(address, "rig-reveal-client");
    ASSERT_TRUE(client.isConnected());

    DesktopReveal reveal(client, [&](const QUrl& folder) { opened << folder; });
    reveal.reveal(file); // nobody answers on the bus
    ASSERT_TRUE(testing::waitFor([&] { return !opened.isEmpty(); }, 15000));
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(dir.path()));

    FakeFileManager manager;
    QDBusConnection service = QDBusConnection::connectToBus(address, "rig-reveal-service");
    ASSERT_TRUE(
        service.registerObject("/org/freedesktop/FileManager1", &manager, QDBusConnection::ExportAllSlots) &&
        service.registerService("org.freedesktop.FileManager1"));
    opened.clear();
    reveal.reveal(file);
    ASSERT_TRUE(testing::waitFor([&] { return !manager.shown.isEmpty(); }, 15000));
    EXPECT_EQ(manager.shown, QStringList{QUrl::fromLocalFile(file).toString()});
    // The answer arrives (a later call on the same connection is answered after it); the folder
    // still does not open.
    QDBusMessage later =
        QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                       "org.freedesktop.FileManager1", "ShowItems");
    later << QStringList() << QString();
    const QDBusPendingCall answered = client.asyncCall(later);
    ASSERT_TRUE(testing::waitFor([&] { return answered.isFinished(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(opened.isEmpty());

    QDBusConnection::disconnectFromBus("rig-reveal-service");
    QDBusConnection::disconnectFromBus("rig-reveal-client");
    daemon.terminate();
    daemon.waitForFinished(5000);
}

} // namespace
} // namespace rig::app

#include "ExportCommandsTest.moc"
