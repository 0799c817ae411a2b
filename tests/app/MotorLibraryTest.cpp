#include "support/AppTesting.h"

#include "base/File.h"
#include "pages/MotorLibrary.h"
#include "shell/AppPaths.h"
#include "shell/QtText.h"
#include "support/ProjectFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace rig::app {
namespace {

QString libraryFile() {
    return appPaths().dataDirectory + "/motors.json";
}

void writeLibraryFile(const std::string& text) {
    QDir().mkpath(appPaths().dataDirectory);
    writeFileAtomically(toPath(libraryFile()), text);
}

std::optional<std::string> libraryText(const QString& path = libraryFile()) {
    if (!QFileInfo::exists(path)) return std::nullopt;
    return readFile(toPath(path));
}

// The file as an independent JSON reader sees it.
nlohmann::json libraryJson() {
    return nlohmann::json::parse(libraryText().value_or("null"));
}

std::vector<std::string> names(const std::vector<Motor>& motors) {
    std::vector<std::string> out;
    for (const Motor& m : motors) out.push_back(m.name);
    return out;
}

const char* const motorJson =
    R"({"id": "0F4C2C2E-7B4A-4F6B-9C59-3D2B0C1E4A11", "name": "CM Lodestar 1t", "weight": 55})";

TEST(MotorLibrary, LoadsMigratesTheOldSpacingOnceAndRewritesOnlyWhenNeeded) {
    {
        testing::TempAppPaths paths;
        MotorLibrary library;
        EXPECT_TRUE(library.motors().empty());
        EXPECT_EQ(library.delta().spacing, 0.8);
        EXPECT_FALSE(QFileInfo::exists(libraryFile())); // nothing written without a file
    }
    const std::string oldSpacing = R"({"motors": [], "delta": {"name": "K1-DELTA", "spacing": 1.0}})";
    const struct {
        const char* name;
        std::string file;
        bool migrated; // "deltaSpacing08" already set
        std::optional<double> spacing;
    } cases[] = {
        {"old spacing migrated", oldSpacing, false, 0.8},
        {"migration ran before", oldSpacing, true, 1.0},
        {"absent spacing stays absent", R"({"motors": [], "delta": {"name": "K1-DELTA"}})", false,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempAppPaths paths;
        if (c.migrated) settings().setValue("deltaSpacing08", true);
        writeLibraryFile(c.file);
        MotorLibrary library;
        EXPECT_EQ(library.delta().spacing, c.spacing);
        EXPECT_EQ(libraryJson()["delta"].value("spacing", -1.0), c.spacing.value_or(-1.0));
        // The user sets 1.0 back: a new run keeps it.
        DeltaSpec delta = library.delta();
        delta.spacing = 1.0;
        library.setDelta(delta);
        EXPECT_EQ(MotorLibrary().delta().spacing, 1.0);
    }
}

TEST(MotorLibrary, UnreadableFileIsKeptAsideBeforeTheFirstSave) {
    const std::string file = R"({"motors": [{"name": "no id", "weight": 1}]})";
    for (bool earlierBackup : {false, true}) {
        SCOPED_TRACE(earlierBackup);
        testing::TempAppPaths paths;
        writeLibraryFile(file);
        const QString backup = libraryFile() + ".unreadable";
        if (earlierBackup) writeFileAtomically(toPath(backup), "older");
        MotorLibrary library;
        EXPECT_TRUE(library.motors().empty());
        EXPECT_EQ(libraryText(), file); // untouched until something changes

        library.upsert("D8+ 1000 kg", 58);
        library.upsert("D8+ 500 kg", 35); // backed up once only
        ASSERT_EQ(libraryJson()["motors"].size(), 2u);
        QStringList kept = QDir(appPaths().dataDirectory).entryList({"motors.json.unreadable*"}, QDir::Files);
        ASSERT_EQ(kept.size(), earlierBackup ? 2 : 1);
        if (earlierBackup) {
            EXPECT_EQ(libraryText(backup), "older");
            kept.removeAll("motors.json.unreadable");
        }
        EXPECT_EQ(libraryText(appPaths().dataDirectory + "/" + kept.back()), file);
    }
}

TEST(MotorLibrary, UpsertAndImportMatchNamesWriteOnlyChangesAndKeepNaturalOrder) {
    testing::TempAppPaths paths;
    writeLibraryFile(std::string(R"({"motors": [)") + motorJson +
                     R"(, {"id": "1F4C2C2E-7B4A-4F6B-9C59-3D2B0C1E4A11", "name": "Zz 2t", "weight": 90}]})");
    MotorLibrary library;
    const Motor before = library.motors().front();
    QSignalSpy changed(&library, &MotorLibrary::motorsChanged);
    auto projectWithMotor = [](const std::string& name, double weight) {
        Project p;
        p.setExtra("Main/L", "Front", {fixtures::testMotor(name, weight, 7), false});
        p.setExtra("Main/L", "Rear", {std::nullopt, true});
        return p;
    };

    // A trimmed name in any case updates the motor it names.
    const Motor updated = library.upsert(" \tcm LODESTAR 1T ", 60);
    EXPECT_EQ(updated.id, before.id);
    EXPECT_EQ(updated.name, "CM Lodestar 1t");
    EXPECT_EQ(libraryJson()["motors"][0]["weight"].get<double>(), 60);
    EXPECT_EQ(changed.count(), 1);
    // Nothing new: nothing changes or is written, nor an exact name from a project.
    QFile::remove(libraryFile());
    EXPECT_EQ(library.upsert("CM Lodestar 1t", 60), updated);
    library.setDelta(library.delta());
    library.importMotors(projectWithMotor("CM Lodestar 1t", 99));
    EXPECT_FALSE(QFileInfo::exists(libraryFile()));
    EXPECT_EQ(changed.count(), 1);
    // A case variant from a project brings its weight; new names get their own identifier.
    library.importMotors(projectWithMotor("cm lodestar 1t", 58));
    EXPECT_EQ(library.motors().front().weight, 58);
    const Project withNew = projectWithMotor("Chain 10t", 20);
    library.importMotors(withNew);
    const Motor added = library.upsert("  chain 2t ", 30.5);
    EXPECT_NE(added.id, before.id);
    EXPECT_NE(library.motors()[1].id, withNew.extra("Main/L", "Front").motor->id);
    EXPECT_EQ(names(library.motors()),
              (std::vector<std::string>{"chain 2t", "Chain 10t", "CM Lodestar 1t", "Zz 2t"}));

    const DeltaSpec plate{"Plate B", std::nullopt, 11.0};
    library.setDelta(plate);
    MotorLibrary again;
    EXPECT_EQ(again.delta(), plate);
    EXPECT_EQ(again.motors(), library.motors());
}

} // namespace
} // namespace rig::app
