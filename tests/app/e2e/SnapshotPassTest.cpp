// The built program as a user runs it: a snapshot pass over a sample show's exports against
// the publish-server stand-in, every output read back with an independent reader.
#include "QtText.h"
#include "base/Number.h"
#include "support/CrewTesting.h"
#include "support/CsvTesting.h"
#include "support/DxfTesting.h"

#include "E2ETesting.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <map>
#include <set>

namespace rig::app {
namespace {

using namespace testing::e2e;

const QStringList sampleSources = {"L2 L", "L2 R", "CS 1", "CS 2", "KARA 1", "KARA 2", "KARA 3"};

TEST(SnapshotPass, WritesEveryOutputOfASampleShow) {
    PassFolders folders;
    const std::optional<QString> files = run(QStringLiteral(RIG_SAMPLE_FILES), {folders.path("sample")});
    ASSERT_TRUE(files);
    StandIn server;
    ASSERT_TRUE(server.base.startsWith("http://127.0.0.1:")) << server.base.toStdString();

    // On an X server of its own where there is one (the offscreen platform opens nothing), with
    // an opener that notes where it was asked to go, in a folder without blanks (Qt splits its
    // command line at them).
    XServer x;
    QTemporaryDir openers(QDir::tempPath() + "/rig-openers-XXXXXX");
    writeText(openers.filePath("xdg-open"),
              ("#!/bin/sh\necho \"$*\" >> '" + openers.filePath("opened") + "'\n").toUtf8());
    QFile::setPermissions(openers.filePath("xdg-open"), QFile::ReadOwner | QFile::ExeOwner);

    const QStringList steps = {"overview", "ALL/MAIN/L2 L", "crew", "phone", "full", "B-LAVA/KARA/KARA 3"};
    const PassResult pass = runPass(QStringLiteral(RIG_PROGRAM), folders,
                                    {{"PATH", openers.path() + ":" + qEnvironmentVariable("PATH")},
                                     {"RIG_SNAPSHOT", folders.path("snap")},
                                     {"RIG_FILES", files->trimmed()},
                                     {"RIG_EXPORT", folders.path("export")},
                                     {"RIG_STEPS", steps.join('|')},
                                     {"RIG_SETTINGS_SHOTS", ""},
                                     {"RIG_TEST_HEIGHT", "14"},
                                     {"RIG_TEST_DELTA", ""},
                                     // the address as a hand might paste it
                                     {"RIG_PUBLISH_SERVER", " " + server.base + "/ "},
                                     {"RIG_PUBLISH_KEY", key},
                                     {"QT_QPA_PLATFORM", x.display.isEmpty() ? "offscreen" : "xcb"},
                                     {"DISPLAY", x.display}});
    ASSERT_TRUE(pass.ended) << "still running after " << programLimitMs << " ms";
    EXPECT_EQ(pass.exitCode, 0);
    // Started as root without being told: the crew view and the PDFs still come, and it says so.
    EXPECT_EQ(pass.errors.count("runs as root"), geteuid() == 0 ? 1 : 0);
    RecordProperty("pass_ms", int(pass.ms));
    std::cout << "snapshot pass: " << pass.ms << " ms\n";

    // Pictures: one per step, each the main window at its size (the overview page drawn off
    // screen for "full"); the settings tabs.
    const QString snap = folders.path("snap");
    const QSize window = pngSize(snap + "/shot0.png");
    EXPECT_FALSE(window.isEmpty());
    for (int i = 0; i < steps.size(); ++i) {
        const QString shot = QStringLiteral("%1/shot%2.png").arg(snap).arg(i);
        EXPECT_EQ(pngSize(shot), steps[i] == "full" ? QSize(900, 3400) : window) << shot.toStdString();
        EXPECT_FALSE(QFileInfo::exists(shot + ".txt")) << readText(shot + ".txt").toStdString();
    }
    for (const char* name : {"general", "motors", "publishing"})
        EXPECT_EQ(pngSize(QStringLiteral("%1/settings-%2.png").arg(snap, name)), QSize(560, 480)) << name;
    EXPECT_EQ(readText(snap + "/state.txt"), "sources: 7\nerror: -\n");
    // The PDFs written are shown in no file manager: the mode opens nothing outside itself.
    EXPECT_FALSE(QFileInfo::exists(openers.filePath("opened")))
        << readText(openers.filePath("opened")).toStdString();

    // Both PDFs, as poppler reads them.
    const QString out = folders.path("export");
    const testing::PdfFacts rigger = testing::readPdf(out + "/rigger.pdf");
    const testing::PdfFacts crew = testing::readPdf(out + "/crew.pdf");
    ASSERT_TRUE(rigger.readable && crew.readable);
    EXPECT_NEAR(rigger.width, 841.92, 0.5);          // landscape
    EXPECT_NEAR(crew.width, 594.96, 0.5);            // portrait
    EXPECT_FALSE(rigger.text.contains("Crew link")); // no link before the publish check
    for (const QString& name : sampleSources) {
        EXPECT_TRUE(rigger.text.contains(name)) << name.toStdString();
        EXPECT_TRUE(crew.text.contains(name)) << name.toStdString();
    }
    EXPECT_TRUE(rigger.text.contains("Test 1t"));

    // The CSV: a point line per pickup of the five flown arrays, two more per Delta plate.
    const auto csv = testing::readCsv(toStd(readText(out + "/points.csv")));
    ASSERT_TRUE(csv);
    EXPECT_EQ(csv->size(), 1u + 10u + 4u);
    // As RIG_TEST_HEIGHT and RIG_TEST_DELTA ask: 14 m, 12 m for the KARA group, every drop from
    // there; a "Test 1t" motor on a K1-DELTA plate on the last point of "L2 L" and "KARA 1".
    std::map<std::string, std::vector<std::string>> plates;
    for (std::size_t i = 1; i < csv->size(); ++i) {
        const std::vector<std::string>& r = (*csv)[i];
        ASSERT_EQ(r.size(), 14u);
        const double height = r[0] == "B-LAVA / KARA" ? 12 : 14;
        EXPECT_EQ(parseDecimal(r[7]), height) << r[1] << " " << r[2];
        EXPECT_NEAR(parseDecimal(r[8]).value_or(0), height - parseDecimal(r[6]).value_or(0), 0.011) << r[1];
        if (!r[10].empty()) plates[r[1]].push_back(r[2] + " | " + r[11]);
    }
    EXPECT_EQ(plates, (std::map<std::string, std::vector<std::string>>{
                          {"L2 L",
                           {"Rear | ", "Rear · K1-DELTA left | Test 1t + ½ plate",
                            "Rear · K1-DELTA right | Test 1t + ½ plate"}},
                          {"KARA 1",
                           {"Rear | ", "Rear · K1-DELTA left | Test 1t + ½ plate",
                            "Rear · K1-DELTA right | Test 1t + ½ plate"}}}));

    // Both DXFs, read by dxflib: labelled points; drops only in the second.
    const testing::DxfSeen hook = testing::readDxf(out + "/points.dxf");
    const testing::DxfSeen floor = testing::readDxf(out + "/points-drops-floor.dxf");
    ASSERT_TRUE(hook.read && floor.read);
    EXPECT_FALSE(hook.textsOn("RIG_LABELS").empty());
    EXPECT_FALSE(hook.hasLayer("RIG_DROPS"));
    EXPECT_TRUE(hook.hasLayer("RIG_DELTA"));
    EXPECT_FALSE(floor.linesOn("RIG_DROPS").empty());
    // Footprints at the hooks, then on the floor; drops hang from the rigging heights.
    const auto hookOutlines = hook.linesOn("RIG_SPEAKERS"), floorOutlines = floor.linesOn("RIG_SPEAKERS");
    ASSERT_FALSE(hookOutlines.empty() || floorOutlines.empty());
    // Each outline level, at the highest hook of a source as the CSV lists them (in cm).
    std::map<std::string, double> hookTops; // by group and source
    for (std::size_t i = 1; i < csv->size(); ++i) {
        const std::vector<std::string>& r = (*csv)[i];
        if (r[2].find(" \u00B7 ") != std::string::npos) continue; // a plate's hang point
        double& top = hookTops.try_emplace(r[0] + " / " + r[1], -1e9).first->second;
        top = std::max(top, parseDecimal(r[6]).value_or(-1e9));
    }
    std::set<long> levels, hookLevels;
    for (const auto& [source, top] : hookTops) hookLevels.insert(std::lround(top * 100));
    for (const DL_LineData& l : hookOutlines) levels.insert(l.z1 == l.z2 ? std::lround(l.z1 * 100) : -1);
    EXPECT_EQ(levels, hookLevels);
    for (const DL_LineData& l : floorOutlines) EXPECT_TRUE(l.z1 == 0 && l.z2 == 0);
    std::set<double> tops;
    for (const DL_LineData& l : floor.linesOn("RIG_DROPS")) tops.insert(std::max(l.z1, l.z2));
    EXPECT_TRUE(tops.contains(14) && tops.contains(12)) << tops.size();

    // The publish check: one link, both publishes, the uploads, and a crew view that carries
    // the published motor but not the later probe edit, without the hidden ground subs.
    const QStringList lines = readText(out + "/publish.txt").split('\n');
    ASSERT_EQ(lines.size(), 6) << lines.join('\n').toStdString();
    ASSERT_TRUE(lines[0].startsWith("first " + server.base + "/c/")) << lines[0].toStdString();
    const QString link = lines[0].mid(6);
    EXPECT_EQ(lines[1], "second " + link);
    EXPECT_TRUE(lines[2].startsWith("changes [\"ALL/MAIN/L2 L\": [")) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains("Test 1t")) << lines[2].toStdString();
    EXPECT_EQ(lines[3], "files uploaded for " + link.section('/', -1));
    EXPECT_EQ(lines[4], "after visibility: CS sources=0 leakedMotor=false keptTestMotor=true");
    EXPECT_EQ(lines[5], "");
}

} // namespace
} // namespace rig::app
