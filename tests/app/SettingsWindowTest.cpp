#include "support/AppTesting.h"
#include "support/Waiting.h"

#include "export/DXFSettings.h"
#include "export/PublishSettings.h"
#include "pages/Fields.h"
#include "pages/GeneralSettings.h"
#include "pages/MotorLibrary.h"
#include "pages/MotorsSettings.h"
#include "pages/Preferences.h"
#include "pages/PublishSettingsView.h"
#include "pages/SettingsWindow.h"
#include "shell/Icons.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace rig::app {
namespace {

// The colour of the most opaque pixel, and whether any pixel is drawn at all.
QColor strongestPixel(const QImage& image) {
    QColor best(0, 0, 0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > best.alpha()) best = c;
        }
    }
    return best;
}

struct WindowFixture {
    testing::TempAppPaths paths;
    MotorLibrary library;
    DXFSettings dxf;
    PublishSettings publish{std::make_unique<MemorySecretStore>()};
    SettingsOpener opener{library, dxf, publish};
};

TEST(SettingsWindow, HasThreeTabsAtAFixedSize) {
    WindowFixture f;
    SettingsWindow* window = f.opener.open();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(560, 480));
    EXPECT_EQ(window->minimumSize(), QSize(560, 480));
    EXPECT_EQ(window->maximumSize(), QSize(560, 480));
    QTabBar* tabs = window->tabBar();
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "General");
    EXPECT_EQ(tabs->tabText(1), "Motors");
    EXPECT_EQ(tabs->tabText(2), "Publishing");
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(tabs->tabIcon(i).isNull()) << i;
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(window->pages()->currentWidget(), window->general());
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(window->pages()->currentWidget(), window->motors());
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    EXPECT_EQ(window->pages()->currentWidget(), window->publishing());
    EXPECT_FALSE(window->testAttribute(Qt::WA_QuitOnClose));

    // The tab icons are drawn in the window's text colour, also after a change of appearance.
    const QPalette before = QApplication::palette();
    for (const QPalette& palette : {lightPalette(), darkPalette()}) {
        QApplication::setPalette(palette);
        const QImage icon = tabs->tabIcon(0).pixmap(18).toImage();
        EXPECT_EQ(strongestPixel(icon).rgb(), palette.color(QPalette::WindowText).rgb());
    }
    QApplication::setPalette(before);
}

TEST(SettingsWindow, OpeningAgainRaisesTheSameWindowAndReopeningStartsFresh) {
    WindowFixture f;
    SettingsWindow* first = f.opener.open();
    EXPECT_EQ(f.opener.open(), first);

    // Leave state behind in every tab.
    first->tabBar()->setCurrentIndex(2);
    first->publishing()->setAdvancedShown(true);
    first->publishing()->setKeyShown(true);
    QTest::keyClicks(first->motors()->newNameField(), "Liftket");
    QTest::keyClicks(first->motors()->newWeightField()->lineEdit(), "41");
    ASSERT_TRUE(first->motors()->addButton()->isEnabled());

    QPointer<SettingsWindow> closed = first;
    first->close();
    ASSERT_TRUE(testing::waitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return closed.isNull();
    }));
    EXPECT_EQ(f.opener.window(), nullptr);

    SettingsWindow* second = f.opener.open();
    EXPECT_EQ(second->tabBar()->currentIndex(), 0);
    EXPECT_EQ(second->pages()->currentWidget(), second->general());
    EXPECT_FALSE(second->publishing()->isAdvancedShown());
    EXPECT_FALSE(second->publishing()->isKeyShown());
    EXPECT_EQ(second->publishing()->keyField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(second->motors()->newNameField()->text(), "");
    EXPECT_EQ(second->motors()->newWeightField()->lineEdit()->text(), "");
    EXPECT_FALSE(second->motors()->addButton()->isEnabled());
    EXPECT_TRUE(f.library.motors().empty()); // nothing was added
}

TEST(SettingsWindow, DoesNotKeepTheProgramRunningWhenTheMainWindowCloses) {
    WindowFixture f;
    const bool quitOnClose = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QWidget main;
    main.show();
    f.opener.open();
    ASSERT_TRUE(f.opener.window()->isVisible());

    // The program's own loop: it must end when the main window closes.
    QTimer::singleShot(0, &main, [&] { main.close(); });
    QTimer keptAlive;
    keptAlive.setSingleShot(true);
    QObject::connect(&keptAlive, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    keptAlive.start(10000);
    const int code = QApplication::exec();
    keptAlive.stop();
    QGuiApplication::setQuitOnLastWindowClosed(quitOnClose);
    EXPECT_EQ(code, 0);
}

TEST(SettingsWindow, TheActionOpensItWithControlComma) {
    WindowFixture f;
    QObject owner;
    QAction* action = f.opener.createAction(&owner);
    EXPECT_EQ(action->parent(), &owner);
    EXPECT_EQ(action->text(), "Settings…");
    EXPECT_EQ(action->shortcut(), QKeySequence("Ctrl+,"));
    EXPECT_EQ(f.opener.window(), nullptr);
    action->trigger();
    ASSERT_NE(f.opener.window(), nullptr);
    EXPECT_TRUE(f.opener.window()->isVisible());
    SettingsWindow* open = f.opener.window();
    action->trigger();
    EXPECT_EQ(f.opener.window(), open);
}

TEST(SettingsWindow, ClosingTheOpenerClosesItsWindow) {
    testing::TempAppPaths paths;
    MotorLibrary library;
    DXFSettings dxf;
    PublishSettings publish{std::make_unique<MemorySecretStore>()};
    QPointer<SettingsWindow> window;
    {
        SettingsOpener opener(library, dxf, publish);
        window = opener.open();
    }
    EXPECT_TRUE(window.isNull());
}

// ---- Icons --------------------------------------------------------------------------------------

TEST(Icons, EveryIconTheProgramNamesIsBundledAndDrawnInTheGivenColour) {
    const QStringList expected = {"person",
                                  "person.2",
                                  "arrow.up.and.down.square",
                                  "paperplane",
                                  "gearshape",
                                  "gearshape.fill",
                                  "hoist",
                                  "link",
                                  "eye",
                                  "eye.slash",
                                  "doc.on.doc",
                                  "square.and.arrow.up",
                                  "iphone",
                                  "rectangle",
                                  "pencil",
                                  "exclamationmark.triangle",
                                  "exclamationmark.triangle.fill",
                                  "exclamationmark.octagon.fill",
                                  "exclamationmark.circle",
                                  "info.circle",
                                  "checkmark.circle",
                                  "minus.circle",
                                  "plus",
                                  "xmark",
                                  "trash",
                                  "chevron.right",
                                  "chevron.down",
                                  "chevron.left",
                                  "chevron.up",
                                  "list.bullet.rectangle",
                                  "speaker.wave.3",
                                  "wifi.exclamationmark"};
    const QStringList names = iconNames();
    EXPECT_EQ(names.size(), expected.size());
    const QColor orange(201, 52, 0);
    for (const QString& name : expected) {
        EXPECT_TRUE(names.contains(name)) << name.toStdString();
        const QImage image = iconPixmap(name, orange, 24).toImage();
        ASSERT_EQ(image.size(), QSize(24, 24)) << name.toStdString();
        const QColor c = strongestPixel(image);
        EXPECT_EQ(c.alpha(), 255) << name.toStdString();
        EXPECT_EQ(c.rgb(), orange.rgb()) << name.toStdString();
    }
    // Sharp on a high-density screen: drawn at the device size.
    const QPixmap dense = iconPixmap("person", orange, 24, 2.0);
    EXPECT_EQ(dense.size(), QSize(48, 48));
    EXPECT_EQ(dense.devicePixelRatio(), 2.0);

    EXPECT_FALSE(hasIcon("no.such.icon"));
    EXPECT_TRUE(tintedIcon("no.such.icon").isNull());
    EXPECT_TRUE(iconPixmap("no.such.icon", orange, 24).isNull());
}

TEST(Icons, TintFollowsThePaletteAndFadesWhenDisabled) {
    const QPalette light = lightPalette();
    const QPalette dark = darkPalette();
    const QIcon onLight = tintedIcon("eye", light, QPalette::WindowText);
    const QIcon onDark = tintedIcon("eye", dark, QPalette::WindowText);
    EXPECT_EQ(strongestPixel(onLight.pixmap(32).toImage()).rgb(), light.color(QPalette::WindowText).rgb());
    EXPECT_EQ(strongestPixel(onDark.pixmap(32).toImage()).rgb(), dark.color(QPalette::WindowText).rgb());
    // Disabled: the palette's disabled colour.
    EXPECT_EQ(strongestPixel(onLight.pixmap(32, QIcon::Disabled).toImage()).rgb(),
              light.color(QPalette::Disabled, QPalette::WindowText).rgb());

    // A colour that is the same when disabled is drawn faded.
    const QIcon red = tintedIcon("minus.circle", QColor(215, 0, 21));
    EXPECT_EQ(strongestPixel(red.pixmap(32).toImage()).alpha(), 255);
    EXPECT_LT(strongestPixel(red.pixmap(32, QIcon::Disabled).toImage()).alpha(), 128);

    // Without a palette of its own, the icon follows the application palette when drawn.
    const QPalette before = QApplication::palette();
    const QIcon live = tintedIcon("eye");
    QApplication::setPalette(dark);
    EXPECT_EQ(strongestPixel(live.pixmap(32).toImage()).rgb(), dark.color(QPalette::WindowText).rgb());
    QApplication::setPalette(light);
    EXPECT_EQ(strongestPixel(live.pixmap(32).toImage()).rgb(), light.color(QPalette::WindowText).rgb());
    QApplication::setPalette(before);
}

} // namespace
} // namespace rig::app
