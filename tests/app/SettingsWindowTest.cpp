#include "support/AppTesting.h"
#include "support/Waiting.h"

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
#include "pages/SettingsWindow.h"
#include "shell/AppPaths.h"
#include "shell/Icons.h"
#include "shell/QtText.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rig::app {
namespace {

// What another reader of the settings file sees.
QVariant storedSetting(const testing::TempAppPaths& paths, const QString& key) {
    return QSettings(paths.file("config/QuorvaneRig.conf"), QSettings::IniFormat).value(key);
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

// The colour of the most opaque pixel.
QColor strongestPixel(const QImage& image) {
    QColor best(0, 0, 0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).alpha() > best.alpha()) best = image.pixelColor(x, y);
        }
    }
    return best;
}

// ---- Panes -------------------------------------------------------------------------------------

struct GeneralFixture {
    explicit GeneralFixture(std::optional<QString> appearance = std::nullopt) {
        if (appearance) settings().setValue(appearanceKey, *appearance);
        pane = std::make_unique<GeneralSettings>(dxf, [this] {
            ++applied;
            storedWhenApplied = settings().value(appearanceKey).toString();
        });
        pane->resize(560, 480);
        pane->show();
    }
    void click(int segment) {
        SegmentedControl* picker = pane->appearancePicker();
        QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(segment).center());
    }
    testing::TempAppPaths paths;
    DXFSettings dxf;
    int applied = 0;
    QString storedWhenApplied;
    std::unique_ptr<GeneralSettings> pane;
};

TEST(GeneralSettings, EveryChoiceIsStoredAtOnceAndTheAppearanceAppliedAfterwards) {
    for (const auto& [stored, segment] : {std::pair<QString, int>{"dark", 2}, {"Dark", -1}}) {
        GeneralFixture f(stored);
        EXPECT_EQ(f.pane->appearancePicker()->currentIndex(), segment) << stored.toStdString();
        EXPECT_EQ(f.applied, 0);
    }
    GeneralFixture f("Dark"); // unknown: replaced by what is chosen, even "System"
    f.click(0);
    EXPECT_EQ(storedSetting(f.paths, "appearance").toString(), "system");
    f.click(2);
    EXPECT_EQ(f.storedWhenApplied, "dark");
    f.click(2); // no change: nothing stored or applied again
    EXPECT_EQ(f.applied, 2);
    // The arrow keys choose the neighbouring segment, and stop at the ends.
    QTest::keyClick(f.pane->appearancePicker(), Qt::Key_Left);
    EXPECT_EQ(storedSetting(f.paths, "appearance").toString(), "light");
    QTest::keyClick(f.pane->appearancePicker(), Qt::Key_Left);
    QTest::keyClick(f.pane->appearancePicker(), Qt::Key_Left);
    EXPECT_EQ(f.applied, 4);

    // The name and the DXF options are written at once too.
    BoxField* name = f.pane->nameField();
    ASSERT_TRUE(focusIn(f.pane.get(), name));
    QTest::keyClicks(name, "Sam");
    EXPECT_EQ(storedSetting(f.paths, "authorName").toString(), "Sam");
    EXPECT_EQ(name->placeholderText(), "Sam"); // the name new projects get
    selectAllAndErase(name);
    QTest::keyClicks(name, "   ");
    EXPECT_EQ(name->placeholderText(), accountFullName());
    QTest::mouseClick(f.pane->dxfForm()->dropsBox(), Qt::LeftButton);
    EXPECT_TRUE(f.dxf.options().drops);
}

struct MotorsFixture {
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
    std::vector<std::string> rowNames() const {
        std::vector<std::string> out;
        for (int i = 0; i < pane->rowCount(); ++i) out.push_back(toStd(pane->nameField(i)->text()));
        return out;
    }
    void remove(int row) {
        QTest::mouseClick(pane->deleteButton(row), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    testing::TempAppPaths paths;
    MotorLibrary library;
    std::unique_ptr<MotorsSettings> pane;
};

TEST(MotorsSettings, AddAndDeleteKeepTheRowsInTheLibrarysOrder) {
    MotorsFixture f;
    f.library.upsert("CM Lodestar 1t", 55);
    f.make();
    QTest::keyClicks(f.pane->newNameField(), "  cm LODESTAR 1t\t");
    EXPECT_FALSE(f.pane->addButton()->isEnabled());
    QTest::keyClicks(f.pane->newWeightField()->lineEdit(), "60");
    QTest::mouseClick(f.pane->addButton(), Qt::LeftButton);
    EXPECT_EQ(f.names(), (std::vector<std::string>{"CM Lodestar 1t"}));
    EXPECT_EQ(f.pane->weightField(0)->lineEdit()->text(), "60");
    EXPECT_EQ(f.pane->newNameField()->text(), "");
    EXPECT_FALSE(f.pane->addButton()->isEnabled());
    for (const char* name : {"Hoist 10t", "Hoist 2t"}) { // Return adds too
        QTest::keyClicks(f.pane->newNameField(), name);
        QTest::keyClicks(f.pane->newWeightField()->lineEdit(), "-1,5");
        QTest::keyClick(f.pane->newWeightField()->lineEdit(), Qt::Key_Return);
    }
    EXPECT_EQ(f.rowNames(), (std::vector<std::string>{"CM Lodestar 1t", "Hoist 2t", "Hoist 10t"}));
    EXPECT_EQ(f.library.motors()[1].weight, -1.5);

    QAbstractButton* kept = f.pane->deleteButton(2);
    f.remove(1);
    EXPECT_EQ(f.names(), (std::vector<std::string>{"CM Lodestar 1t", "Hoist 10t"}));
    EXPECT_EQ(f.rowNames(), f.names());
    EXPECT_EQ(f.pane->deleteButton(1), kept); // the other rows stay as they were

    // Ids repeated in a hand-edited file: each row edits its own motor; delete takes them all.
    const Motor a = f.library.motors()[0];
    f.library.setMotors({a, Motor{a.id, "A copy", 11}, Motor{Uuid::random(), "B", 12}});
    ASSERT_TRUE(focusIn(f.pane.get(), f.pane->nameField(1)));
    QTest::keyClicks(f.pane->nameField(1), "!");
    EXPECT_EQ(f.names(), (std::vector<std::string>{"CM Lodestar 1t", "A copy!", "B"}));
    f.remove(0);
    EXPECT_EQ(f.names(), (std::vector<std::string>{"B"}));
    EXPECT_EQ(f.rowNames(), f.names());
}

TEST(MotorsSettings, TypingKeepsTheFocusAndTheRowFollowsItsMotor) {
    MotorsFixture f;
    f.library.upsert("Alpha", 55.5);
    f.library.upsert("Beta", 20);
    const Uuid alpha = f.library.motors()[0].id;
    f.make();
    BoxField* field = f.pane->nameField(0);
    ASSERT_TRUE(focusIn(f.pane.get(), field));
    selectAllAndErase(field);
    for (const char* c : {"Z", "e", "t", "a"}) QTest::keyClicks(field, c);
    EXPECT_EQ(f.names(), (std::vector<std::string>{"Zeta", "Beta"})); // not re-sorted while typing
    EXPECT_TRUE(field->hasFocus());

    // A motor added elsewhere re-sorts the library; the row moves with its motor, focused.
    f.library.upsert("Delta", 40);
    EXPECT_EQ(f.pane->nameField(2), field);
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClicks(field, "s");
    EXPECT_EQ(f.library.motors()[2], (Motor{alpha, "Zetas", 55.5}));

    // Weights and the Delta defaults edit the library too.
    QLineEdit* weight = f.pane->weightField(2)->lineEdit();
    ASSERT_TRUE(focusIn(f.pane.get(), weight));
    selectAllAndErase(weight);
    EXPECT_EQ(f.library.motors()[2].weight, 0);
    QLineEdit* spacing = f.pane->deltaFields()->spacingField()->lineEdit();
    ASSERT_TRUE(focusIn(f.pane.get(), spacing));
    QTest::keyClicks(spacing, "5");
    EXPECT_EQ(f.library.delta().spacing, 0.85);
}

struct PublishFixture {
    PublishFixture() {
        pane->resize(560, 480);
        pane->show();
    }
    testing::TempAppPaths paths;
    PublishSettings settings{std::make_unique<MemorySecretStore>()};
    std::unique_ptr<PublishSettingsView> pane = std::make_unique<PublishSettingsView>(settings);
};

TEST(PublishSettingsView, TheKeyDecidesTheStatus) {
    PublishFixture f;
    const QString notSetUp = "Not set up \u2013 Publish will not work";
    EXPECT_EQ(f.pane->statusLabel()->text(), notSetUp);
    EXPECT_FALSE(f.pane->copyButton()->isEnabled());
    EXPECT_FALSE(f.pane->advancedGroup()->isVisible());
    QTest::mouseClick(f.pane->advancedButton(), Qt::LeftButton);
    EXPECT_TRUE(f.pane->advancedGroup()->isVisible());

    ASSERT_TRUE(focusIn(f.pane.get(), f.pane->keyField()));
    EXPECT_EQ(f.pane->keyField()->echoMode(), QLineEdit::Password);
    QTest::keyClicks(f.pane->keyField(), " ");
    EXPECT_EQ(f.pane->statusLabel()->text(), "Ready"); // blanks count as a key
    QTest::keyClicks(f.pane->keyField(), "k1");
    f.settings.setServer(""); // only the key decides
    EXPECT_EQ(f.pane->statusLabel()->text(), "Ready");
    QGuiApplication::clipboard()->setText("something else");
    QTest::mouseClick(f.pane->copyButton(), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->text(), " k1");
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->formats(), QStringList{"text/plain"});
    QTest::mouseClick(f.pane->showKeyButton(), Qt::LeftButton);
    EXPECT_EQ(f.pane->keyField()->echoMode(), QLineEdit::Normal);
    QTest::mouseClick(f.pane->showKeyButton(), Qt::LeftButton);
    EXPECT_EQ(f.pane->keyField()->echoMode(), QLineEdit::Password);
    selectAllAndErase(f.pane->keyField());
    EXPECT_EQ(f.pane->statusLabel()->text(), notSetUp);
    EXPECT_FALSE(f.pane->copyButton()->isEnabled());

    // A generated key is shown, also over a field being typed in.
    QTest::keyClicks(f.pane->keyField(), "typed");
    QTest::mouseClick(f.pane->generateButton(), Qt::LeftButton);
    EXPECT_TRUE(f.settings.key().startsWith("qvr_"));
    EXPECT_EQ(f.pane->keyField()->text(), f.settings.key());
    EXPECT_EQ(f.pane->keyField()->echoMode(), QLineEdit::Normal);
}

TEST(PublishSettingsView, ResetServerAppearsOnlyAwayFromTheDefault) {
    PublishFixture f;
    const QString standard = PublishSettings::defaultServer();
    f.pane->setAdvancedShown(true);
    EXPECT_TRUE(f.pane->resetServerButton()->isHidden());
    ASSERT_TRUE(focusIn(f.pane.get(), f.pane->serverField()));
    QTest::keyClicks(f.pane->serverField(), "/");
    EXPECT_EQ(storedSetting(f.paths, "publishServer").toString(), standard + "/");
    EXPECT_FALSE(f.pane->resetServerButton()->isHidden());
    QTest::mouseClick(f.pane->resetServerButton(), Qt::LeftButton);
    EXPECT_EQ(storedSetting(f.paths, "publishServer").toString(), standard);
    EXPECT_EQ(f.pane->serverField()->text(), standard);
    EXPECT_TRUE(f.pane->resetServerButton()->isHidden());
    f.settings.setServer(standard.toUpper()); // letter case counts
    EXPECT_FALSE(f.pane->resetServerButton()->isHidden());
}

// ---- Window -------------------------------------------------------------------------------------

struct WindowFixture {
    testing::TempAppPaths paths;
    MotorLibrary library;
    DXFSettings dxf;
    PublishSettings publish{std::make_unique<MemorySecretStore>()};
    std::unique_ptr<SettingsOpener> opener = std::make_unique<SettingsOpener>(library, dxf, publish);
};

TEST(SettingsWindow, OneWindowAtAFixedSizeThatStartsFreshOnEachOpening) {
    WindowFixture f;
    QObject owner;
    QAction* action = f.opener->createAction(&owner);
    EXPECT_EQ(action->shortcut(), QKeySequence("Ctrl+,"));
    action->trigger();
    SettingsWindow* first = f.opener->window();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(f.opener->open(), first);
    EXPECT_EQ(first->minimumSize(), QSize(560, 480));
    EXPECT_EQ(first->maximumSize(), QSize(560, 480));
    QTabBar* tabs = first->tabBar();
    ASSERT_EQ(tabs->count(), 3);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    EXPECT_EQ(first->pages()->currentWidget(), first->publishing());
    const QPalette before = QApplication::palette(); // tab icons follow a change of appearance
    QApplication::setPalette(darkPalette());
    EXPECT_EQ(strongestPixel(tabs->tabIcon(0).pixmap(18).toImage()).rgb(),
              QColor(QApplication::palette().color(QPalette::WindowText)).rgb());
    QApplication::setPalette(before);

    // State left behind in the tabs is gone once the window is closed and opened again.
    first->publishing()->setAdvancedShown(true);
    first->publishing()->setKeyShown(true);
    QTest::keyClicks(first->motors()->newNameField(), "Liftket");
    QPointer<SettingsWindow> closed = first;
    first->close();
    ASSERT_TRUE(testing::waitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return closed.isNull();
    }));
    SettingsWindow* second = f.opener->open();
    EXPECT_EQ(second->pages()->currentWidget(), second->general());
    EXPECT_FALSE(second->publishing()->isAdvancedShown());
    EXPECT_EQ(second->publishing()->keyField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(second->motors()->newNameField()->text(), "");

    // The window goes with its opener.
    QPointer<SettingsWindow> last = second;
    f.opener.reset();
    EXPECT_TRUE(last.isNull());
}

TEST(SettingsWindow, DoesNotKeepTheProgramRunningWhenTheMainWindowCloses) {
    WindowFixture f;
    const bool quitOnClose = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QWidget main;
    main.show();
    f.opener->open();
    QTimer::singleShot(0, &main, [&] { main.close(); });
    QTimer keptAlive;
    keptAlive.setSingleShot(true);
    QObject::connect(&keptAlive, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    keptAlive.start(10000);
    const int code = QApplication::exec();
    QGuiApplication::setQuitOnLastWindowClosed(quitOnClose);
    EXPECT_EQ(code, 0);
}

// ---- Icons --------------------------------------------------------------------------------------

TEST(Icons, EveryIconTheProgramNamesIsBundledAndTinted) {
    const QStringList expected =
        QStringLiteral(
            "person person.2 arrow.up.and.down.square paperplane gearshape gearshape.fill hoist link "
            "eye eye.slash doc.on.doc square.and.arrow.up iphone rectangle pencil "
            "exclamationmark.triangle exclamationmark.triangle.fill exclamationmark.octagon.fill "
            "exclamationmark.circle info.circle checkmark.circle minus.circle plus xmark trash "
            "chevron.right chevron.down chevron.left chevron.up list.bullet.rectangle "
            "speaker.wave.3 wifi.exclamationmark")
            .split(' ');
    EXPECT_EQ(iconNames().size(), expected.size());
    const QColor orange(201, 52, 0);
    for (const QString& name : expected) {
        const QImage image = iconPixmap(name, orange, 24).toImage();
        ASSERT_EQ(image.size(), QSize(24, 24)) << name.toStdString();
        EXPECT_EQ(strongestPixel(image).rgba(), orange.rgba()) << name.toStdString();
    }
    EXPECT_EQ(iconPixmap("person", orange, 24, 2.0).size(), QSize(48, 48)); // sharp on dense screens
    EXPECT_TRUE(iconPixmap("no.such.icon", orange, 24).isNull());

    // Disabled: the palette's disabled colour, or faded when that is the same colour.
    const QPalette light = lightPalette();
    EXPECT_EQ(
        strongestPixel(tintedIcon("eye", light, QPalette::WindowText).pixmap(32, QIcon::Disabled).toImage())
            .rgb(),
        light.color(QPalette::Disabled, QPalette::WindowText).rgb());
    const QIcon red = tintedIcon("minus.circle", QColor(215, 0, 21));
    EXPECT_LT(strongestPixel(red.pixmap(32, QIcon::Disabled).toImage()).alpha(), 128);
    // Without a palette of its own, the icon follows the application palette when drawn.
    const QPalette before = QApplication::palette();
    const QIcon live = tintedIcon("eye");
    for (const QPalette& palette : {darkPalette(), light}) {
        QApplication::setPalette(palette);
        EXPECT_EQ(strongestPixel(live.pixmap(32).toImage()).rgb(), palette.color(QPalette::WindowText).rgb());
    }
    QApplication::setPalette(before);
}

} // namespace
} // namespace rig::app
