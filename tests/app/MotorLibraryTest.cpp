#include "support/AppTesting.h"

#include "AppPaths.h"
#include "MotorLibrary.h"
#include "Preferences.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "base/File.h"
#include "support/JsonTesting.h"
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

std::string libraryText(const QString& path = libraryFile()) {
    return QFileInfo::exists(path) ? readFile(toPath(path), 1u << 20) : std::string();
}

// The file as an independent JSON reader sees it.
nlohmann::json libraryJson() {
    return nlohmann::json::parse(libraryText());
}

TEST(MotorLibrary, MigratesTheOldSpacingOnceAndKeepsWhatTheUserSetsLater) {
    const std::string oldSpacing = R"({"motors": [], "delta": {"name": "K1-DELTA", "spacing": 1.0}})";
    const struct {
        std::string file;
        bool migrated; // "deltaSpacing08" already set
        std::optional<double> spacing;
    } cases[] = {
        {oldSpacing, false, 0.8},
        {oldSpacing, true, 1.0},
        {R"({"motors": [], "delta": {"name": "K1-DELTA"}})", false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + (c.migrated ? " migrated" : ""));
        testing::TempAppPaths paths;
        if (c.migrated) settings().setValue("deltaSpacing08", true);
        writeLibraryFile(c.file);
        MotorLibrary library;
        EXPECT_EQ(library.delta().spacing, c.spacing);
        EXPECT_EQ(libraryJson()["delta"].value("spacing", -1.0), c.spacing.value_or(-1.0));
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
        // Said as the program starts with it.
        ProjectStore store;
        store.setMotorLibrary(&library);
        EXPECT_TRUE(store.errorMessage().value_or("").startsWith(
            "The motor library could not be read from motors.json: Missing value for \"motors[0].id\"."));

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
    // A name of megabytes is cut to a menu's line, without a word.
    testing::TempAppPaths paths;
    writeLibraryFile(R"({"motors": [{"id": "0F4C2C2E-7B4A-4F6B-9C59-3D2B0C1E4A11", "name": ")" +
                     std::string(2'000'000, 'M') + R"(", "weight": 55}]})");
    MotorLibrary library;
    ASSERT_EQ(library.motors().size(), 1u);
    EXPECT_EQ(library.motors()[0].name, std::string(MotorLibrary::maxNameLength, 'M') + "\u2026");
    EXPECT_EQ(library.unreadableMessage(), std::nullopt);
}

// A motor's member nested deeper than any real library would be kept and copied recursively: the
// file is refused as an unreadable one is; at the limit it reads and is written back.
TEST(MotorLibrary, AFileNestedDeeperThanAnyRealOneIsRefusedAndKeptAside) {
    Json file = Json::parse(R"({"motors": [{"id": "0F4C2C2E-7B4A-4F6B-9C59-3D2B0C1E4A11",
                                            "name": "CM Lodestar 1t", "weight": 55}]})");
    file["motors"][0]["rating"] = test::nestedPlace;
    // The file's object, "motors" and the motor hold 3 levels.
    for (const std::size_t levels : {std::size_t(1'000'000), std::size_t(510), std::size_t(509)}) {
        SCOPED_TRACE(levels);
        testing::TempAppPaths paths;
        const std::string text = test::withNestedArrays(file, levels);
        writeLibraryFile(text);
        MotorLibrary library;
        library.upsert("Chain 2t", 120);
        const auto kept = [] { return readFile(toPath(libraryFile() + ".unreadable"), 4u << 20); };
        if (levels > 509) {
            ASSERT_EQ(library.motors().size(), 1u);
            EXPECT_EQ(kept(), text);
        } else {
            ASSERT_EQ(library.motors().size(), 2u);
            EXPECT_FALSE(QFileInfo::exists(libraryFile() + ".unreadable"));
            EXPECT_EQ(libraryJson()["motors"][1]["rating"].dump(), test::nestedArrays(509));
        }
    }
}

TEST(MotorLibrary, UpsertAndImportMatchNamesWriteOnlyChangesAndKeepNaturalOrder) {
    testing::TempAppPaths paths;
    writeLibraryFile(R"({"motors": [{"id": "0F4C2C2E-7B4A-4F6B-9C59-3D2B0C1E4A11", "name": "CM Lodestar 1t",
                                     "weight": 55}]})");
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
    // Nothing new: nothing changes or is written.
    QFile::remove(libraryFile());
    EXPECT_EQ(library.upsert("CM Lodestar 1t", 60), updated);
    library.importMotors(projectWithMotor("CM Lodestar 1t", 99));
    EXPECT_FALSE(QFileInfo::exists(libraryFile()));
    EXPECT_EQ(changed.count(), 1);
    // A case variant from a project brings its weight; new names get their own identifier.
    library.importMotors(projectWithMotor("cm lodestar 1t", 58));
    EXPECT_EQ(library.motors().front().weight, 58);
    const Project withNew = projectWithMotor("Chain 10t", 20);
    library.importMotors(withNew);
    library.upsert("  chain 2t ", 30.5);
    std::vector<std::string> names;
    for (const Motor& m : library.motors()) names.push_back(m.name);
    EXPECT_EQ(names, (std::vector<std::string>{"chain 2t", "Chain 10t", "CM Lodestar 1t"}));
    EXPECT_NE(library.motors()[1].id, withNew.extra("Main/L", "Front").motor->id);
    EXPECT_EQ(MotorLibrary().motors(), library.motors());
    // Another canonical shape of a name, in another case, is the same motor: KELVIN SIGN for K,
    // the iota subscript before or after the accent.
    const Motor rare = library.upsert("\u212A2 chain \u1FB4", 40);
    EXPECT_EQ(library.upsert("k2 CHAIN \u03B1\u0345\u0301", 41).id, rare.id);
    EXPECT_EQ(library.motors().size(), 4u);
}

// Two programs on one library file: each change is made to the file as the other left it.
TEST(MotorLibrary, AChangeKeepsWhatAnotherProgramWroteMeanwhile) {
    testing::TempAppPaths paths;
    MotorLibrary first, second; // both started without a file
    first.upsert("Chain 1t", 60);
    second.upsert("Chain 2t", 120);
    DeltaSpec delta = first.delta();
    delta.spacing = 0.9;
    first.setDelta(delta);
    // The settings list shows what `second` knew; `first` changes the file meanwhile.
    std::vector<Motor> shown = second.motors();
    ASSERT_EQ(shown.size(), 2u);
    first.upsert("Chain 5t", 250);
    first.upsert("chain 1T", 70);
    shown.erase(shown.begin() + 1); // "Chain 2t" deleted in `second`
    second.setMotors(shown);

    const nlohmann::json stored = libraryJson();
    ASSERT_EQ(stored["motors"].size(), 2u) << stored.dump();
    EXPECT_EQ(stored["motors"][0]["name"], "Chain 1t");
    EXPECT_EQ(stored["motors"][0]["weight"].get<double>(), 70);
    EXPECT_EQ(stored["motors"][1]["name"], "Chain 5t");
    EXPECT_EQ(stored["delta"]["spacing"].get<double>(), 0.9);
    EXPECT_EQ(second.motors(), MotorLibrary().motors());
}

TEST(Preferences, AuthorNameFallsBackToTheAccountOnlyWhenBlank) {
    testing::TempAppPaths paths;
    const QString account = accountFullName();
    const std::pair<std::optional<QString>, QString> cases[] = {
        {std::nullopt, account},
        {QStringLiteral("  \t\u00A0\u2003"), account}, // every horizontal blank
        {QStringLiteral(" Sam Reyes\t"), QStringLiteral(" Sam Reyes\t")},
    };
    for (const auto& [stored, expected] : cases) {
        if (stored) settings().setValue(authorNameKey, *stored);
        EXPECT_EQ(defaultAuthorName(), expected) << stored.value_or("(none)").toStdString();
    }
    EXPECT_EQ(fullNameFromGecos("Zoë Ångström,Room 4,555-0100,,"), QStringLiteral("Zoë Ångström"));
    EXPECT_EQ(fullNameFromGecos(nullptr), QString());
}

} // namespace
} // namespace rig::app
