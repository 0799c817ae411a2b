#include "support/AppTesting.h"
#include "support/ShownTexts.h"
#include "support/Waiting.h"

#include "AppPaths.h"
#include "Appearance.h"
#include "DXFSettings.h"
#include "Fields.h"
#include "GeneralSettings.h"
#include "Icons.h"
#include "MotorLibrary.h"
#include "MotorsSettings.h"
#include "PageStyle.h"
#include "Preferences.h"
#include "PublishSettings.h"
#include "PublishSettingsView.h"
#include "QtText.h"
#include "SettingsWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rig::app {
namespace {

// What another reader of the settings file sees.
QString stored(const testing::TempAppPaths& paths, const QString& key) {
    return QSettings(paths.file("config/QuorvaneRig.conf"), QSettings::IniFormat).value(key).toString();
}

bool focusIn(QWidget* pane, QWidget* field) {
    pane->show();
    QApplication::setActiveWindow(pane);
    field->setFocus();
    return testing::waitFor([&] { return field->hasFocus(); });
}

void erase(QLineEdit* field) {
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
}

QColor strongestPixel(const QImage& image) {
    QColor best(0, 0, 0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).alpha() > best.alpha()) best = image.pixelColor(x, y);
        }
    }
    return best;
}

TEST(GeneralSettings, EveryChoiceIsStoredAtOnceAndTheAppearanceAppliedAfterwards) {
    testing::TempAppPaths paths;
    settings().setValue(appearanceKey, "Dark"); // unknown: replaced by what is chosen, even "System"
    DXFSettings dxf;
    QString storedWhenApplied;
    GeneralSettings pane(dxf, [&] { storedWhenApplied = settings().value(appearanceKey).toString(); });
    pane.show();
    SegmentedControl* picker = pane.appearancePicker();
    EXPECT_EQ(picker->currentIndex(), -1);
    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(0).center());
    EXPECT_EQ(stored(paths, "appearance"), "system");
    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(2).center());
    EXPECT_EQ(storedWhenApplied, "dark");
}

TEST(MotorsSettings, RowsFollowTheirMotorsAndKeepTheFocus) {
    testing::TempAppPaths paths;
    MotorLibrary library;
    library.upsert("Alpha", 55.5);
    MotorsSettings pane(library);
    pane.show();
    auto names = [&] {
        std::vector<std::string> out;
        for (const Motor& m : library.motors()) out.push_back(m.name);
        return out;
    };
    auto rowNames = [&] {
        std::vector<std::string> out;
        for (int i = 0; i < pane.rowCount(); ++i) out.push_back(toStd(pane.nameField(i)->text()));
        return out;
    };
    auto remove = [&](int row) {
        QTest::mouseClick(pane.deleteButton(row), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    QTest::keyClicks(pane.newNameField(), "  ");
    QTest::keyClicks(pane.newWeightField()->lineEdit(), "60");
    EXPECT_FALSE(pane.addButton()->isEnabled());
    QTest::keyClicks(pane.newNameField(), "Hoist 10t");
    erase(pane.newWeightField()->lineEdit());
    QTest::keyClicks(pane.newWeightField()->lineEdit(), "-1,5");
    QTest::keyClick(pane.newWeightField()->lineEdit(), Qt::Key_Return); // Return adds
    library.upsert("Hoist 2t", 20);
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"Alpha", "Hoist 2t", "Hoist 10t"}));
    EXPECT_EQ(library.motors()[2].weight, -1.5);
    EXPECT_EQ(pane.newNameField()->text(), "");
    // "1e999" is refused as the New Motor sheet refuses it, not read as the "1e99" typed on the way.
    QTest::keyClicks(pane.newNameField(), "Hoist 1t");
    QTest::keyClicks(pane.newWeightField()->lineEdit(), "1e999");
    EXPECT_FALSE(pane.addButton()->isEnabled());
    QTest::keyClick(pane.newWeightField()->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(library.motors().size(), 3u);
    erase(pane.newNameField());
    erase(pane.newWeightField()->lineEdit());

    // Typing is not re-sorted and keeps the focus; a motor added elsewhere moves the row with it.
    const Uuid alpha = library.motors()[0].id;
    BoxField* field = pane.nameField(0);
    ASSERT_TRUE(focusIn(&pane, field));
    erase(field);
    for (const char* c : {"Z", "e", "t", "a"}) QTest::keyClicks(field, c);
    EXPECT_EQ(names()[0], "Zeta");
    library.upsert("Delta", 40);
    EXPECT_EQ(pane.nameField(3), field);
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClicks(field, "s");
    EXPECT_EQ(library.motors()[3], (Motor{alpha, "Zetas", 55.5}));
    remove(1);
    EXPECT_EQ(rowNames(), names());

    // Ids repeated in a hand-edited file: each row edits its own motor; delete takes them all.
    const Motor a = library.motors()[0];
    library.setMotors({a, Motor{a.id, "A copy", 11}, Motor{Uuid::random(), "B", 12}});
    ASSERT_TRUE(focusIn(&pane, pane.nameField(1)));
    QTest::keyClicks(pane.nameField(1), "!");
    EXPECT_EQ(names(), (std::vector<std::string>{a.name, "A copy!", "B"}));
    remove(0);
    EXPECT_EQ(names(), (std::vector<std::string>{"B"}));
    EXPECT_EQ(rowNames(), names());
}

// Deleting a motor asks nothing, so only a click deletes: Return in a row, also on its delete
// button, leaves the library whole.
TEST(MotorsSettings, ReturnNeverDeletesAMotor) {
    testing::TempAppPaths paths;
    MotorLibrary library;
    library.upsert("Alpha", 55.5);
    library.upsert("Beta", 60);
    MotorsSettings pane(library);
    const std::function<QWidget*()> fields[] = {
        [&] { return pane.nameField(0); }, [&] { return pane.weightField(0)->lineEdit(); },
        [&] { return pane.deleteButton(0); }, [&] { return pane.nameField(1); }};
    for (const auto& field : fields) {
        ASSERT_TRUE(focusIn(&pane, field()));
        QTest::keyClick(field(), Qt::Key_Return);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_EQ(library.motors().size(), 2u);
    }
    QTest::mouseClick(pane.deleteButton(0), Qt::LeftButton);
    EXPECT_EQ(library.motors().size(), 1u);
}

// Typed into whatever has the keyboard focus, as a user types.
void typeIntoFocus(QWidget* window, const QString& text) {
    for (const QChar c : text) QTest::keyClick(window->windowHandle(), c.toLatin1());
}

// After "Add", by mouse or by Return in either field, the next name typed goes into the add
// row's empty name field, never over the plate name of new projects.
TEST(MotorsSettings, AddLeavesTheFocusInTheEmptyNameField) {
    testing::TempAppPaths paths;
    MotorLibrary library;
    DXFSettings dxf;
    PublishSettings publish{std::make_unique<MemorySecretStore>()};
    SettingsWindow window(library, dxf, publish);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(testing::waitFor([&] { return window.isActiveWindow(); }));
    auto* tabs = window.findChild<QTabBar*>();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    MotorsSettings* pane = window.motors();
    ASSERT_TRUE(pane->isVisible());

    QLineEdit* name = pane->newNameField();
    QLineEdit* weight = pane->newWeightField()->lineEdit();
    const std::function<void()> adds[] = {
        [&] { QTest::mouseClick(pane->addButton(), Qt::LeftButton); },
        [&] {
            ASSERT_TRUE(focusIn(pane, weight));
            QTest::keyClick(weight, Qt::Key_Return);
        },
        [&] {
            ASSERT_TRUE(focusIn(pane, name));
            QTest::keyClick(name, Qt::Key_Return);
        },
    };
    int added = 0;
    for (const auto& add : adds) {
        ASSERT_TRUE(focusIn(pane, name));
        QTest::keyClicks(name, QStringLiteral("Hoist %1").arg(++added));
        ASSERT_TRUE(focusIn(pane, weight));
        QTest::keyClicks(weight, "50");
        add();
        ASSERT_EQ(library.motors().size(), std::size_t(added));
        EXPECT_EQ(QApplication::focusWidget(), name) << added;
        typeIntoFocus(&window, "CM");
        EXPECT_EQ(name->text(), "CM") << added;
        EXPECT_EQ(library.delta().name, "K1-DELTA") << added;
        library.setDelta(DeltaSpec{});
        erase(name);
    }
}

TEST(PublishSettingsView, TheStatusSaysWhetherPublishingWorksAndTheKeyIsCopiedAsASecret) {
    testing::TempAppPaths paths;
    PublishSettings settings{std::make_unique<MemorySecretStore>()};
    PublishSettingsView pane(settings);
    pane.resize(560, 480);
    const QString notSetUp = "Not set up \u2013 Publish will not work";
    EXPECT_EQ(pane.statusLabel()->text(), notSetUp);
    ASSERT_TRUE(focusIn(&pane, pane.keyField()));
    QTest::keyClicks(pane.keyField(), " k1");
    EXPECT_EQ(settings.key(), ""); // written when the editing ends, not on every keystroke
    QTest::keyClick(pane.keyField(), Qt::Key_Return);
    EXPECT_EQ(settings.key(), " k1");
    settings.setServer(""); // an address that is no URL fails only when a request is built
    EXPECT_EQ(pane.statusLabel()->text(), "Ready");
    // Plain http is for the local network only, and said so.
    settings.setServer("http://192.168.1.20:8080");
    EXPECT_EQ(pane.statusLabel()->text(), "Ready \u2013 not encrypted (local network)");
    settings.setServer("http://rig.example.com");
    EXPECT_EQ(pane.statusLabel()->text(),
              "The server address must begin with https:// (the publish key is never sent unencrypted).");
    // Typed addresses with other schemes are no local-network or unencrypted servers; they
    // fail when a request is built.
    QLineEdit* server = nullptr;
    for (QLineEdit* field : pane.findChildren<QLineEdit*>())
        if (field->accessibleName() == "Server") server = field;
    ASSERT_TRUE(server);
    for (const char* typed : {"ftp://192.168.1.20", "httpx://192.168.1.20", "https-evil://rig.example.com"}) {
        ASSERT_TRUE(focusIn(&pane, server));
        erase(server);
        QTest::keyClicks(server, typed);
        EXPECT_EQ(settings.server(), typed);
        EXPECT_EQ(pane.statusLabel()->text(), "Ready") << typed;
    }
    // The key alone, marked so that clipboard managers keep no copy.
    QTest::mouseClick(pane.copyButton(), Qt::LeftButton);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(copied->text(), " k1");
    EXPECT_EQ(copied->formats(), (QStringList{"text/plain", "x-kde-passwordManagerHint"}));
    EXPECT_EQ(copied->data("x-kde-passwordManagerHint"), "secret");
    ASSERT_TRUE(focusIn(&pane, pane.keyField()));
    erase(pane.keyField());
    pane.hide(); // the window closes while the key is being edited
    EXPECT_EQ(pane.statusLabel()->text(), notSetUp);
    EXPECT_FALSE(pane.copyButton()->isEnabled());

    // The caption tells a rigger who sets the key on the server, not how a server is deployed.
    QStringList texts;
    for (const QLabel* label : pane.findChildren<QLabel*>()) texts << label->text();
    EXPECT_EQ(texts
                  .filter("A new key stops publishing until the same key is set on the server by whoever "
                          "runs it.")
                  .size(),
              1);
    EXPECT_TRUE(texts.filter(QRegularExpression("secret|RIG_|wrangler|\\(")).isEmpty())
        << texts.join('|').toStdString();

    // Keyring failures show; a key that could not be read is never offered for replacing.
    MemorySecretStore keyring;
    keyring.setFailures("the keyring is locked", "Cannot create an item in a locked collection");
    PublishSettings locked{std::make_unique<MemorySecretStore>(keyring)};
    PublishSettingsView lockedPane(locked);
    EXPECT_EQ(lockedPane.statusLabel()->text(),
              "The key could not be read from the system keyring: the keyring is locked");
    EXPECT_FALSE(lockedPane.generateButton()->isEnabled());
    EXPECT_TRUE(lockedPane.keyField()->isReadOnly());
    locked.setKey("qvr_x");
    EXPECT_EQ(
        lockedPane.statusLabel()->text(),
        "The key could not be stored in the system keyring: Cannot create an item in a locked collection");
    EXPECT_TRUE(lockedPane.generateButton()->isEnabled());
}

struct WindowFixture {
    testing::TempAppPaths paths;
    MotorLibrary library;
    DXFSettings dxf;
    PublishSettings publish{std::make_unique<MemorySecretStore>()};
    std::unique_ptr<SettingsOpener> opener = std::make_unique<SettingsOpener>(library, dxf, publish);
};

TEST(SettingsWindow, OneWindowThatNeitherKeepsTheProgramRunningNorOutlivesItsOpener) {
    WindowFixture f;
    const bool quitOnClose = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QWidget main;
    main.show();
    QPointer<SettingsWindow> window = f.opener->open();
    EXPECT_EQ(f.opener->open(), window.data());
    QTimer::singleShot(0, &main, [&] { main.close(); });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
    const int code = QApplication::exec();
    QGuiApplication::setQuitOnLastWindowClosed(quitOnClose);
    EXPECT_EQ(code, 0);

    // Escape closes it, also while a field has the focus.
    window = f.opener->open();
    ASSERT_TRUE(focusIn(window, window->findChild<GeneralSettings*>()->findChild<QLineEdit*>()));
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    window = f.opener->open();
    f.opener.reset();
    EXPECT_TRUE(window.isNull());
}

TEST(SettingsWindow, TheKeyIsHiddenWheneverTheSettingsOpen) {
    WindowFixture f;
    f.publish.setKey("qvr_secret");
    using testing::buttonShowing;
    // Hidden: masked, with "Show" beside it.
    const auto hidden = [](PublishSettingsView* pane) {
        return pane->keyField()->echoMode() == QLineEdit::Password &&
               !pane->keyField()->displayText().contains("qvr_secret") && buttonShowing(pane, "Show") &&
               !buttonShowing(pane, "Hide");
    };
    QPointer<SettingsWindow> window = f.opener->open();
    auto* pane = window->findChild<PublishSettingsView*>();
    ASSERT_TRUE(hidden(pane));
    EXPECT_FALSE(pane->keyField()->isVisibleTo(pane)); // the advanced group starts folded
    QTest::mouseClick(buttonShowing(pane, "Advanced (server and key)"), Qt::LeftButton);
    EXPECT_TRUE(pane->keyField()->isVisibleTo(pane));
    QTest::mouseClick(buttonShowing(pane, "Show"), Qt::LeftButton);
    EXPECT_EQ(pane->keyField()->displayText(), "qvr_secret");
    ASSERT_NE(buttonShowing(pane, "Hide"), nullptr);
    QTest::mouseClick(buttonShowing(pane, "Hide"), Qt::LeftButton);
    ASSERT_TRUE(hidden(pane));
    QTest::mouseClick(buttonShowing(pane, "Show"), Qt::LeftButton);

    // Left shown and open, then closed: the next window starts folded with the key hidden.
    window->close();
    ASSERT_TRUE(testing::waitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window.isNull();
    }));
    window = f.opener->open();
    pane = window->findChild<PublishSettingsView*>();
    EXPECT_TRUE(hidden(pane));
    EXPECT_FALSE(pane->keyField()->isVisibleTo(pane));
    EXPECT_EQ(pane->keyField()->text(), "qvr_secret");
}

TEST(Icons, EveryIconTheProgramNamesIsBundledAndFollowsThePalette) {
    const QStringList expected =
        QStringLiteral(
            "person person.2 arrow.up.and.down.square paperplane gearshape gearshape.fill hoist link "
            "eye eye.slash doc.on.doc square.and.arrow.up iphone rectangle pencil "
            "exclamationmark.triangle exclamationmark.triangle.fill exclamationmark.octagon.fill "
            "exclamationmark.circle info.circle checkmark.circle minus.circle plus xmark trash "
            "chevron.right chevron.down chevron.left chevron.up list.bullet.rectangle "
            "speaker.wave.3 wifi.exclamationmark")
            .split(' ');
    const QColor orange(201, 52, 0);
    for (const QString& name : expected) {
        EXPECT_EQ(strongestPixel(iconPixmap(name, orange, 24).toImage()).rgba(), orange.rgba())
            << name.toStdString();
    }
    // Readable in both appearances: drawn in the palette's text colour.
    const QPalette before = QApplication::palette();
    const QIcon live = tintedIcon("eye");
    for (const QPalette& palette : {darkPalette(), lightPalette()}) {
        QApplication::setPalette(palette);
        EXPECT_EQ(strongestPixel(live.pixmap(32).toImage()).rgb(), palette.color(QPalette::WindowText).rgb());
    }
    QApplication::setPalette(before);
}

} // namespace
} // namespace rig::app
