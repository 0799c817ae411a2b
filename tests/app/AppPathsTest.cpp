#include "support/AppTesting.h"

#include "shell/AppPaths.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

TEST(AppPaths, SettingsGoToTheInjectedFileAndComeBack) {
    testing::TempAppPaths paths;
    settings().setValue("authorName", "Sam");
    settings().sync();
    EXPECT_TRUE(QFileInfo(paths.file("config/QuorvaneRig.conf")).isFile());
    {
        testing::TempAppPaths other;
        EXPECT_FALSE(settings().contains("authorName"));
    }
    EXPECT_EQ(settings().value("authorName").toString(), "Sam");
}

TEST(AppPaths, ResourcesAreFoundInTheSourceTree) {
    EXPECT_TRUE(resourcePath("no-such-resource.txt").isEmpty());
}

} // namespace
} // namespace rig::app
