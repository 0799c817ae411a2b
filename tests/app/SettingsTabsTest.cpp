#include "support/AppTesting.h"
#include "support/FakePrompts.h"
#include "support/Waiting.h"

#include "base/File.h"
#include "export/DXFSettings.h"
#include "export/PublishSettings.h"
#include "pages/DeltaFields.h"
#include "pages/Fields.h"
#include "pages/GeneralSettings.h"
#include "pages/MotorLibrary.h"
#include "pages/MotorsSettings.h"
#include "pages/PageStyle.h"
#include "pages/Preferences.h"
#include "pages/PublishSettingsView.h"
#include "shell/AppPaths.h"
#include "shell/QtText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rig::app {
namespace {

// What another reader of the settings file sees (the program's own object may not have synced).
QVariant storedSetting(const testing::TempAppPaths& paths, const QString& key) {
    QSettings file(paths.file("config/QuorvaneRig.conf"), QSettings::IniFormat);
    return file.value(key);
}

void clickSegment(SegmentedControl* control, int index) {
    QTest::mouseClick(control, Qt::LeftButton, {}, control->segmentRect(index).center());
}

// Shows the pane in an active window and gives `field` the keyboard focus.
bool focusIn(QWidget* pane, QWidget* field) {
    pane->show();
    QApplication::setActiveWindow(pane);
    field->setFocus();
    return testing::waitFor([&] { return field->hasFocus(); });
}

void selectAllAndErase(QLineEdit* field) {
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
}

// ---- General ------------------------------------------------------------------------------------

struct GeneralFixture {
    testing::TempAppPaths paths;
    DXFSettings dxf;
    int applied = 0;
    QString storedWhenApplied;
    std::unique_ptr<GeneralSettings> pane;

    void make() {
        pane = std::make_unique<GeneralSettings>(dxf, [this] {
            ++applied;
            storedWhenApplied = settings().value(appearanceKey).toString();
        });
        pane->resize(560, 480);
        pane->show();
    }
};

TEST(GeneralSettings, OpeningShowsTheStoredAppearanceAndAppliesNothing) {
    const struct {
        std::optional<QString> stored;
        int segment;
    } cases[] = {{std::nullopt, 0}, {"system", 0}, {"light", 1}, {"dark", 2}, {"Dark", -1}, {"", -1}};
    for (const auto& c : cases) {
        GeneralFixture f;
        if (c.stored) settings().setValue(appearanceKey, *c.stored);
        f.make();
        EXPECT_EQ(f.pane->appearancePicker()->currentIndex(), c.segment)
            << c.stored.value_or("(none)").toStdString();
        EXPECT_EQ(f.applied, 0);
    }
}

TEST(GeneralSettings, ChoosingAnAppearanceStoresItThenAppliesOnce) {
    GeneralFixture f;
    f.make();
    SegmentedControl* picker = f.pane->appearancePicker();
    ASSERT_EQ(picker->count(), 3);
    EXPECT_EQ(picker->label(0), "System");
    EXPECT_EQ(picker->label(1), "Light");
    EXPECT_EQ(picker->label(2), "Dark");

    clickSegment(picker, 2);
    EXPECT_EQ(storedSetting(f.paths, "appearance").toString(), "dark");
    EXPECT_EQ(f.applied, 1);
    EXPECT_EQ(f.storedWhenApplied, "dark"); // stored before it is applied
    EXPECT_EQ(picker->currentIndex(), 2);

    clickSegment(picker, 2); // no change: nothing stored or applied again
    EXPECT_EQ(f.applied, 1);

    clickSegment(picker, 0);
    EXPECT_EQ(storedSetting(f.paths, "appearance").toString(), "system");
    EXPECT_EQ(f.applied, 2);
    EXPECT_EQ(f.storedWhenApplied, "system");

    // The arrow keys choose the neighbouring segment.
    QTest::keyClick(picker, Qt::Key_Right);
    EXPECT_EQ(storedSetting(f.paths, "appearance").toString(), "light");
    EXPECT_EQ(f.applied, 3);
    QTest::keyClick(picker, Qt::Key_Left);
    QTest::keyClick(picker, Qt::Key_Left); // already the first: nothing happens
    EXPECT_EQ(storedSetting(f.paths, "appearance").toString(), "system");
    EXPECT_EQ(f.applied, 4);
}

TEST(GeneralSettings, AnUnknownStoredAppearanceIsReplacedBySystemWhenChosen) {
    GeneralFixture f;
    settings().setValue(appearanceKey, "Dark");
    f.make();
    clickSegment(f.pane->appearancePicker(), 0);
    EXPECT_EQ(storedSetting(f.paths, "appearance").toString(), "system");
    EXPECT_EQ(f.applied, 1);
}

TEST(GeneralSettings, YourNameIsWrittenOnEveryKeyWithTheDefaultAuthorAsPlaceholder) {
    GeneralFixture f;
    f.make();
    BoxField* name = f.pane->nameField();
    EXPECT_EQ(name->text(), "");
    EXPECT_EQ(name->placeholderText(), accountFullName());
    EXPECT_EQ(name->width(), 260);
    ASSERT_TRUE(focusIn(f.pane.get(), name));

    QString typed;
    for (const QChar c : QStringLiteral("Sam Reyes")) {
        QTest::keyClicks(name, QString(c));
        typed += c;
        EXPECT_EQ(storedSetting(f.paths, "authorName").toString(), typed);
    }
    EXPECT_EQ(name->placeholderText(), "Sam Reyes");
    EXPECT_EQ(defaultAuthorName(), "Sam Reyes");

    // Blanks only: kept as typed, and new projects fall back to the account's name.
    selectAllAndErase(name);
    QTest::keyClicks(name, "   ");
    EXPECT_EQ(storedSetting(f.paths, "authorName").toString(), "   ");
    EXPECT_EQ(name->placeholderText(), accountFullName());
}

TEST(GeneralSettings, ShowsTheStoredNameAndTheDXFOptionsOfTheGivenSettings) {
    GeneralFixture f;
    settings().setValue(authorNameKey, "  Ana  ");
    f.make();
    EXPECT_EQ(f.pane->nameField()->text(), "  Ana  ");
    EXPECT_EQ(f.pane->nameField()->placeholderText(), "  Ana  ");

    ASSERT_FALSE(f.dxf.options().drops);
    QTest::mouseClick(f.pane->dxfForm()->dropsBox(), Qt::LeftButton);
    EXPECT_TRUE(f.dxf.options().drops);
    EXPECT_TRUE(DXFSettings::decode(storedSetting(f.paths, DXFSettings::key)).drops);
}

// ---- Motors -------------------------------------------------------------------------------------

struct MotorsFixture {
    testing::TempAppPaths paths;
    MotorLibrary library;
    std::unique_ptr<MotorsSettings> pane;

    void make() {
        pane = std::make_unique<MotorsSettings>(library);
        pane->resize(560, 480);
        pane->show();
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const Motor& m : library.motors()) out.push_back(m.name);
        return out;
    }
    std::vector<QString> rowNames() const {
        std::vector<QString> out;
        for (int i = 0; i < pane->rowCount(); ++i) out.push_back(pane->nameField(i)->text());
        return out;
    }
    // Rows of deleted motors go at the next turn of the event loop.
    void settle() const { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    // The library file as an independent JSON reader sees it.
    nlohmann::json file() const {
        return nlohmann::json::parse(readFile(toPath(appPaths().dataDirectory + "/motors.json")));
    }
};

TEST(MotorsSettings, OneRowPerMotorInTheLibrarysOrder) {
    MotorsFixture f;
    f.make();
    EXPECT_EQ(f.pane->rowCount(), 0); // an empty library shows only the add row

    f.library.upsert("Liftket 500", 41.5);
    f.library.upsert("CM Lodestar 1t", 55);
    ASSERT_EQ(f.pane->rowCount(), 2);
    EXPECT_EQ(f.rowNames(), (std::vector<QString>{"CM Lodestar 1t", "Liftket 500"}));
    EXPECT_EQ(f.pane->weightField(0)->lineEdit()->text(), "55");
    EXPECT_EQ(f.pane->weightField(1)->lineEdit()->text(), "41.5");
    EXPECT_EQ(f.pane->weightField(0)->lineEdit()->placeholderText(), "kg");
    EXPECT_EQ(f.pane->nameField(0)->placeholderText(), "Motor name");
    EXPECT_FALSE(f.pane->deleteButton(0)->icon().isNull());
}

TEST(MotorsSettings, AddIsEnabledOnlyWithANameAndAWeight) {
    const struct {
        QString name;
        QString weight;
        bool enabled;
    } cases[] = {
        {"", "", false},          {" \t ", "5", false},   {"Lodestar", "", false},   {"Lodestar", "0", true},
        {"Lodestar", "a", false}, {"  x ", "-1,5", true}, {"Lodestar", "  ", false},
    };
    for (const auto& c : cases) {
        MotorsFixture f;
        f.make();
        EXPECT_FALSE(f.pane->addButton()->isEnabled());
        QTest::keyClicks(f.pane->newNameField(), c.name);
        QTest::keyClicks(f.pane->newWeightField()->lineEdit(), c.weight);
        EXPECT_EQ(f.pane->addButton()->isEnabled(), c.enabled)
            << c.name.toStdString() << " / " << c.weight.toStdString();
        // A disabled pane keeps the button disabled.
        f.pane->setEnabled(false);
        EXPECT_FALSE(f.pane->addButton()->isEnabled());
    }
}

TEST(MotorsSettings, AddingAnExistingNameUpdatesThatMotorAndANewNameGoesToItsPlace) {
    MotorsFixture f;
    const Motor lodestar = f.library.upsert("CM Lodestar 1t", 55);
    f.make();

    QTest::keyClicks(f.pane->newNameField(), "  cm LODESTAR 1t\t");
    QTest::keyClicks(f.pane->newWeightField()->lineEdit(), "60");
    QTest::mouseClick(f.pane->addButton(), Qt::LeftButton);
    ASSERT_EQ(f.library.motors().size(), 1u);
    EXPECT_EQ(f.library.motors()[0].id, lodestar.id);
    EXPECT_EQ(f.library.motors()[0].name, "CM Lodestar 1t");
    EXPECT_EQ(f.library.motors()[0].weight, 60);
    EXPECT_EQ(f.file()["motors"][0]["weight"], 60);
    // The add row is cleared and Add disabled again.
    EXPECT_EQ(f.pane->newNameField()->text(), "");
    EXPECT_EQ(f.pane->newWeightField()->lineEdit()->text(), "");
    EXPECT_FALSE(f.pane->addButton()->isEnabled());
    EXPECT_EQ(f.pane->weightField(0)->lineEdit()->text(), "60");

    // New names in natural order; Return in the weight field adds too.
    for (const char* name : {"Hoist 10t", "Hoist 2t"}) {
        QTest::keyClicks(f.pane->newNameField(), name);
        QTest::keyClicks(f.pane->newWeightField()->lineEdit(), "0");
        QTest::keyClick(f.pane->newWeightField()->lineEdit(), Qt::Key_Return);
    }
    EXPECT_EQ(f.names(), (std::vector<std::string>{"CM Lodestar 1t", "Hoist 2t", "Hoist 10t"}));
    EXPECT_EQ(f.rowNames(), (std::vector<QString>{"CM Lodestar 1t", "Hoist 2t", "Hoist 10t"}));
    EXPECT_EQ(f.file()["motors"].size(), 3u);
}

TEST(MotorsSettings, DeleteRemovesExactlyThatMotorAndSaves) {
    MotorsFixture f;
    f.library.upsert("A 1t", 10);
    const Motor b = f.library.upsert("B 1t", 20);
    f.library.upsert("C 1t", 30);
    f.make();
    QAbstractButton* keptButton = f.pane->deleteButton(2);

    QTest::mouseClick(f.pane->deleteButton(1), Qt::LeftButton);
    f.settle();
    EXPECT_EQ(f.names(), (std::vector<std::string>{"A 1t", "C 1t"}));
    EXPECT_EQ(f.rowNames(), (std::vector<QString>{"A 1t", "C 1t"}));
    EXPECT_EQ(f.pane->deleteButton(1), keptButton); // the other rows stay as they were
    const auto saved = f.file()["motors"];
    ASSERT_EQ(saved.size(), 2u);
    for (const auto& m : saved) EXPECT_NE(m["id"].get<std::string>(), b.id.str());
}

TEST(MotorsSettings, DuplicateIdsFromAHandEditedFileAreEditedAndDeletedTogether) {
    MotorsFixture f;
    const Motor a = f.library.upsert("A 1t", 10);
    f.library.setMotors({a, Motor{a.id, "A copy", 11}, Motor{Uuid::random(), "B", 12}});
    f.make();
    ASSERT_EQ(f.pane->rowCount(), 3);
    EXPECT_EQ(f.rowNames(), (std::vector<QString>{"A 1t", "A copy", "B"}));

    // The second row edits the second motor, not the first with the same id.
    ASSERT_TRUE(focusIn(f.pane.get(), f.pane->nameField(1)));
    QTest::keyClicks(f.pane->nameField(1), "!");
    EXPECT_EQ(f.names(), (std::vector<std::string>{"A 1t", "A copy!", "B"}));

    QTest::mouseClick(f.pane->deleteButton(0), Qt::LeftButton);
    f.settle();
    EXPECT_EQ(f.names(), (std::vector<std::string>{"B"}));
    EXPECT_EQ(f.rowNames(), (std::vector<QString>{"B"}));
}

TEST(MotorsSettings, ARenameTypedKeyByKeyKeepsFocusAndOrder) {
    MotorsFixture f;
    f.library.upsert("Alpha", 10);
    f.library.upsert("Beta", 20);
    f.library.upsert("Gamma", 30);
    const std::vector<Motor> before = f.library.motors();
    f.make();
    BoxField* field = f.pane->nameField(0);
    ASSERT_TRUE(focusIn(f.pane.get(), field));

    selectAllAndErase(field);
    std::string typed;
    for (const char c : std::string("Zeta")) {
        QTest::keyClicks(field, QString(QChar(c)));
        typed += c;
        EXPECT_EQ(f.library.motors()[0].name, typed);
        EXPECT_EQ(f.pane->nameField(0), field);
        EXPECT_TRUE(field->hasFocus());
    }
    EXPECT_EQ(f.names(), (std::vector<std::string>{"Zeta", "Beta", "Gamma"})); // not re-sorted
    EXPECT_EQ(f.library.motors()[0].id, before[0].id);
    EXPECT_EQ(f.file()["motors"][0]["name"], "Zeta");

    // A motor added elsewhere re-sorts the library; the row being typed in moves with its
    // motor and keeps the focus.
    f.library.upsert("Delta", 40);
    EXPECT_EQ(f.names(), (std::vector<std::string>{"Beta", "Delta", "Gamma", "Zeta"}));
    EXPECT_EQ(f.pane->rowCount(), 4);
    EXPECT_EQ(f.pane->nameField(3), field);
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClicks(field, "s");
    EXPECT_EQ(f.library.motors()[3].name, "Zetas");
    EXPECT_EQ(f.library.motors()[3].id, before[0].id);
    EXPECT_EQ(field->text(), "Zetas");
}

TEST(MotorsSettings, AnEmptiedWeightStoresZero) {
    MotorsFixture f;
    f.library.upsert("Alpha", 55.5);
    f.make();
    QLineEdit* weight = f.pane->weightField(0)->lineEdit();
    EXPECT_EQ(weight->text(), "55.5");
    ASSERT_TRUE(focusIn(f.pane.get(), weight));
    QTest::keyClicks(weight, "0"); // "55.50"
    EXPECT_EQ(f.library.motors()[0].weight, 55.5);
    selectAllAndErase(weight);
    EXPECT_EQ(f.library.motors()[0].weight, 0);
    EXPECT_EQ(weight->text(), ""); // the typed text stays while focused
    f.pane->newNameField()->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return !weight->hasFocus(); }));
    EXPECT_EQ(weight->text(), "0");
    EXPECT_EQ(f.file()["motors"][0]["weight"], 0);
}

TEST(MotorsSettings, TheDeltaDefaultsEditTheLibrary) {
    MotorsFixture f;
    f.make();
    QLineEdit* spacing = f.pane->deltaFields()->spacingField()->lineEdit();
    EXPECT_EQ(spacing->text(), "0.8");
    ASSERT_TRUE(focusIn(f.pane.get(), spacing));
    selectAllAndErase(spacing);
    QTest::keyClicks(spacing, "1,25");
    EXPECT_EQ(f.library.delta().spacing, 1.25);
    EXPECT_EQ(f.file()["delta"]["spacing"], 1.25);

    // A change made elsewhere shows up in a field that is not being typed in.
    DeltaSpec other = f.library.delta();
    other.name = "Plate";
    f.library.setDelta(other);
    EXPECT_EQ(f.pane->deltaFields()->nameField()->text(), "Plate");
}

// ---- Publishing ---------------------------------------------------------------------------------

struct PublishFixture {
    testing::TempAppPaths paths;
    MemorySecretStore keyring;
    PublishSettings settings{std::make_unique<MemorySecretStore>(keyring)};
    std::unique_ptr<PublishSettingsView> pane;

    void make() {
        pane = std::make_unique<PublishSettingsView>(settings);
        pane->resize(560, 480);
        pane->show();
    }
};

TEST(PublishSettingsView, StartsCollapsedWithTheKeyHidden) {
    PublishFixture f;
    f.settings.setKey("qvr_secret");
    f.make();
    EXPECT_FALSE(f.pane->isAdvancedShown());
    EXPECT_FALSE(f.pane->advancedGroup()->isVisible());
    EXPECT_FALSE(f.pane->isKeyShown());
    EXPECT_EQ(f.pane->keyField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(f.pane->showKeyButton()->text(), "Show");
    EXPECT_EQ(f.pane->keyField()->text(), "qvr_secret");
    EXPECT_EQ(f.pane->serverField()->text(), PublishSettings::defaultServer());

    QTest::mouseClick(f.pane->advancedButton(), Qt::LeftButton);
    EXPECT_TRUE(f.pane->advancedGroup()->isVisible());
    QTest::mouseClick(f.pane->showKeyButton(), Qt::LeftButton);
    EXPECT_EQ(f.pane->keyField()->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(f.pane->showKeyButton()->text(), "Hide");
    QTest::mouseClick(f.pane->showKeyButton(), Qt::LeftButton);
    EXPECT_EQ(f.pane->keyField()->echoMode(), QLineEdit::Password);
    QTest::mouseClick(f.pane->advancedButton(), Qt::LeftButton);
    EXPECT_FALSE(f.pane->advancedGroup()->isVisible());
}

TEST(PublishSettingsView, StatusAndCopyKeyFollowTheKey) {
    PublishFixture f;
    f.make();
    EXPECT_EQ(f.pane->statusLabel()->text(), "Not set up – Publish will not work");
    EXPECT_EQ(f.pane->statusLabel()->tone(), style::Tone::orange);
    EXPECT_FALSE(f.pane->copyButton()->isEnabled());

    f.pane->setAdvancedShown(true);
    ASSERT_TRUE(focusIn(f.pane.get(), f.pane->keyField()));
    QTest::keyClicks(f.pane->keyField(), " ");
    EXPECT_EQ(f.settings.key(), " "); // blanks count as a key
    EXPECT_EQ(f.keyring.stored("publishKey"), " ");
    EXPECT_EQ(f.pane->statusLabel()->text(), "Ready");
    EXPECT_EQ(f.pane->statusLabel()->tone(), style::Tone::secondary);
    EXPECT_TRUE(f.pane->copyButton()->isEnabled());

    QTest::keyClicks(f.pane->keyField(), "k1");
    QGuiApplication::clipboard()->setText("something else");
    QTest::mouseClick(f.pane->copyButton(), Qt::LeftButton);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->text(), " k1");
    EXPECT_EQ(copied->formats(), QStringList{"text/plain"});

    // The server does not count: only the key decides.
    f.settings.setServer("");
    EXPECT_EQ(f.pane->statusLabel()->text(), "Ready");

    selectAllAndErase(f.pane->keyField());
    EXPECT_EQ(f.settings.key(), "");
    EXPECT_EQ(f.keyring.stored("publishKey"), std::nullopt);
    EXPECT_EQ(f.pane->statusLabel()->text(), "Not set up – Publish will not work");
    EXPECT_FALSE(f.pane->copyButton()->isEnabled());
}

TEST(PublishSettingsView, GenerateNewKeyStoresAndShowsIt) {
    PublishFixture f;
    f.settings.setKey("old");
    f.make();
    f.pane->setAdvancedShown(true);
    QTest::mouseClick(f.pane->generateButton(), Qt::LeftButton);
    const QString key = f.settings.key();
    EXPECT_EQ(key.size(), 36);
    EXPECT_TRUE(key.startsWith("qvr_"));
    EXPECT_EQ(f.keyring.stored("publishKey"), key);
    EXPECT_TRUE(f.pane->isKeyShown());
    EXPECT_EQ(f.pane->keyField()->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(f.pane->keyField()->text(), key);
    EXPECT_EQ(f.pane->showKeyButton()->text(), "Hide");
    EXPECT_EQ(f.pane->statusLabel()->text(), "Ready");

    // A second key differs and replaces the first, also in a field that had the focus.
    ASSERT_TRUE(focusIn(f.pane.get(), f.pane->keyField()));
    QTest::keyClicks(f.pane->keyField(), "typed");
    f.pane->generateButton()->click();
    EXPECT_NE(f.settings.key(), key);
    EXPECT_EQ(f.pane->keyField()->text(), f.settings.key());
}

TEST(PublishSettingsView, ResetServerAppearsOnlyAwayFromTheDefault) {
    PublishFixture f;
    f.make();
    f.pane->setAdvancedShown(true);
    EXPECT_TRUE(f.pane->resetServerButton()->isHidden());

    ASSERT_TRUE(focusIn(f.pane.get(), f.pane->serverField()));
    QTest::keyClicks(f.pane->serverField(), "/");
    const QString edited = PublishSettings::defaultServer() + "/";
    EXPECT_EQ(f.settings.server(), edited);
    EXPECT_EQ(storedSetting(f.paths, "publishServer").toString(), edited);
    EXPECT_FALSE(f.pane->resetServerButton()->isHidden());

    QTest::mouseClick(f.pane->resetServerButton(), Qt::LeftButton);
    EXPECT_EQ(f.settings.server(), PublishSettings::defaultServer());
    EXPECT_EQ(storedSetting(f.paths, "publishServer").toString(), PublishSettings::defaultServer());
    EXPECT_EQ(f.pane->serverField()->text(), PublishSettings::defaultServer());
    EXPECT_TRUE(f.pane->resetServerButton()->isHidden());

    // An emptied field is stored as empty text; letter case counts.
    f.pane->serverField()->setFocus();
    selectAllAndErase(f.pane->serverField());
    EXPECT_EQ(storedSetting(f.paths, "publishServer"), QVariant(QString()));
    EXPECT_FALSE(f.pane->resetServerButton()->isHidden());
    f.settings.setServer(PublishSettings::defaultServer().toUpper());
    EXPECT_FALSE(f.pane->resetServerButton()->isHidden());
}

} // namespace
} // namespace rig::app
