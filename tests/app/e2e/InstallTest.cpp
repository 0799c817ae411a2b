// `cmake --install` into a fresh prefix: the program, its crew page, the launcher entry, the
// project file type and the icon in their standard places, and the installed program using
// the crew page of its prefix rather than the one in the source tree.
#include "support/CrewTesting.h"

#include "E2ETesting.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>

namespace rig::app {
namespace {

using namespace testing::e2e;

TEST(Install, InstallsADesktopApplicationThatUsesItsOwnFiles) {
    QTemporaryDir prefix;
    ASSERT_TRUE(run("cmake", {"--install", RIG_BUILD_DIR, "--prefix", prefix.path(), "--component", "app"}));
    const auto installed = [&](const QString& relative) { return prefix.filePath(relative); };
    for (const char* file :
         {"bin/quorvane-rig", "share/quorvane-rig/crew.html", "share/applications/quorvane-rig.desktop",
          "share/mime/packages/quorvane-rig.xml", "share/icons/hicolor/scalable/apps/quorvane-rig.svg"})
        EXPECT_TRUE(QFileInfo(installed(file)).isFile()) << file;

    // Opens project files from the desktop.
    const QString desktop = installed("share/applications/quorvane-rig.desktop");
    const QStringList entry = readText(desktop).split('\n');
    EXPECT_TRUE(entry.contains("Exec=quorvane-rig %F"));
    EXPECT_TRUE(entry.contains("MimeType=application/x-quorvane-rig;"));
    if (const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        !validator.isEmpty()) {
        const auto complaints = run(validator, {desktop});
        ASSERT_TRUE(complaints);
        EXPECT_EQ(*complaints, "");
    }
    if (const QString mime = QStandardPaths::findExecutable("update-mime-database"); !mime.isEmpty()) {
        ASSERT_TRUE(run(mime, {installed("share/mime")}));
        EXPECT_TRUE(readText(installed("share/mime/globs2")).contains("application/x-quorvane-rig:*.qvrig"));
    }

    // A visible mark in the installed crew page only: the PDF shows which copy was used.
    const QString page = installed("share/quorvane-rig/crew.html");
    QString html = readText(page);
    const QString app = QStringLiteral("<div id=\"app\"></div>");
    ASSERT_TRUE(html.contains(app));
    html.replace(app, "<p>Installed crew page copy</p>" + app);
    ASSERT_TRUE(writeText(page, html.toUtf8()));

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
    EXPECT_TRUE(rigger.text.contains("Installed crew page copy"));
    EXPECT_TRUE(rigger.text.contains("KARA 3"));
}

} // namespace
} // namespace rig::app
