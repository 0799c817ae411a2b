// `cmake --install` into a fresh prefix: the program, the launcher entry, the project file type
// and the icon in their standard places, and the installed program using the crew page compiled
// into it, never a file of the source tree or an install path.
#include "support/CrewTesting.h"

#include "E2ETesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>

namespace rig::app {
namespace {

using namespace testing::e2e;

TEST(Install, InstallsADesktopApplicationThatUsesItsOwnFiles) {
    QTemporaryDir root;
    // A prefix as a home folder may have it, with characters a launcher must quote.
    const QDir prefix(root.filePath("Rig's apps \"$HOME\" (test)"));
    ASSERT_TRUE(run("cmake", {"--install", RIG_BUILD_DIR, "--prefix", prefix.path(), "--component", "app"}));
    const auto installed = [&](const QString& relative) { return prefix.filePath(relative); };
    for (const char* file :
         {"bin/quorvane-rig", "share/applications/quorvane-rig.desktop",
          "share/mime/packages/quorvane-rig.xml", "share/icons/hicolor/scalable/apps/quorvane-rig.svg"})
        EXPECT_TRUE(QFileInfo(installed(file)).isFile()) << file;
    EXPECT_FALSE(QFileInfo::exists(installed("share/quorvane-rig")));
    // No place to look for a page is built in (paths in either text encoding).
    QFile program(installed("bin/quorvane-rig"));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    const QByteArray binary = program.readAll();
    for (const QString& path :
         {QStringLiteral(RIG_SOURCE_DIR "/Resources"), QStringLiteral("share/quorvane-rig")}) {
        const QByteArray utf16(reinterpret_cast<const char*>(path.utf16()), path.size() * 2);
        EXPECT_FALSE(binary.contains(path.toUtf8()) || binary.contains(utf16)) << path.toStdString();
    }

    // Opens project files from the desktop.
    const QString desktop = installed("share/applications/quorvane-rig.desktop");
    const QStringList entry = readText(desktop).split('\n');
    // By its full path: a desktop started without the prefix's bin folder on PATH finds it.
    EXPECT_TRUE(entry.contains("Exec=\"" + prefix.path().replace('"', "\\\\\"").replace('$', "\\\\$") +
                               "/bin/quorvane-rig\" %F"))
        << entry.filter("Exec=").join('\n').toStdString();
    EXPECT_TRUE(entry.contains("MimeType=application/x-quorvane-rig;"));
    if (const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        !validator.isEmpty()) {
        const auto complaints = run(validator, {desktop});
        ASSERT_TRUE(complaints);
        EXPECT_EQ(*complaints, "");
    }
    // The install itself tells the desktop, where the tools exist.
    if (!QStandardPaths::findExecutable("update-mime-database").isEmpty()) {
        EXPECT_TRUE(readText(installed("share/mime/globs2")).contains("application/x-quorvane-rig:*.qvrig"));
    }
    if (!QStandardPaths::findExecutable("update-desktop-database").isEmpty()) {
        EXPECT_TRUE(readText(installed("share/applications/mimeinfo.cache"))
                        .contains("application/x-quorvane-rig=quorvane-rig.desktop;"));
    }

    // A page beside the program, where a copy used to be installed, is not read.
    QFile source(RIG_SOURCE_DIR "/Resources/crew.html");
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QString html = QString::fromUtf8(source.readAll());
    const QString app = QStringLiteral("<div id=\"app\"></div>");
    ASSERT_TRUE(html.contains(app));
    html.replace(app, "<p>Crew page copy beside the program</p>" + app);
    ASSERT_TRUE(QDir().mkpath(installed("share/quorvane-rig")));
    ASSERT_TRUE(writeText(installed("share/quorvane-rig/crew.html"), html.toUtf8()));

    PassFolders folders;
    const auto files = run(QStringLiteral(RIG_SAMPLE_FILES), {folders.path("sample")});
    ASSERT_TRUE(files);
    const PassResult pass = runPass(installed("bin/quorvane-rig"), folders,
                                    {{"RIG_SNAPSHOT", folders.path("snap")},
                                     {"RIG_FILES", files->trimmed()},
                                     {"RIG_EXPORT", folders.path("export")},
                                     {"RIG_STEPS", "|"}});
    ASSERT_TRUE(pass.ended);
    EXPECT_EQ(pass.exitCode, 0);
    std::cout << "installed snapshot pass: " << pass.ms << " ms\n";
    EXPECT_EQ(readText(folders.path("snap/state.txt")), "sources: 7\nerror: -\n");
    const testing::PdfFacts rigger = testing::readPdf(folders.path("export/rigger.pdf"));
    ASSERT_TRUE(rigger.readable);
    EXPECT_FALSE(rigger.text.contains("Crew page copy beside the program"));
    EXPECT_TRUE(rigger.text.contains("KARA 3"));
}

} // namespace
} // namespace rig::app
