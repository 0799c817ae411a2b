// What the main window and its sidebar show, as pure functions of the project.
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"

#include "shell/Program.h"
#include "shell/QtText.h"
#include "shell/SidebarModel.h"
#include "shell/WindowState.h"

#include <QDir>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace rig::app {
namespace {

using fixtures::projectOf;
using fixtures::testSource;

TEST(WindowState, DetailAndSnapshotSteps) {
    // Two sources with one identifier: the first in report order is shown.
    const Project project =
        projectOf({testSource("A", {"ALL", "Main"}), testSource("B", {"Side"}), testSource("B", {"Side"})});
    const std::pair<std::optional<Selection>, std::optional<std::size_t>> details[] = {
        {std::nullopt, std::nullopt},
        {Selection::source("Side/B"), 1},
        {Selection::source("overview"), std::nullopt}, // a step text naming no source
        {Selection::source("side/b"), std::nullopt},   // case matters
    };
    for (const auto& [selection, index] : details) EXPECT_EQ(detailSource(project, selection), index);
    EXPECT_EQ(Selection::source("Caf\xC3\xA9"), Selection::source("Cafe\xCC\x81")) << "compared canonically";

    const WindowView start{Mode::edit, false, Selection::source("Main/A")};
    const WindowView phone{Mode::crew, true, Selection::source("Main/A")};
    const std::tuple<WindowView, std::optional<QString>, WindowView> steps[] = {
        {start, "phone", {Mode::crew, true, Selection::source("Main/A")}},
        {phone, "crew", {Mode::crew, false, Selection::source("Main/A")}}, // the wide preview
        {phone, "Side/B", {Mode::edit, true, Selection::source("Side/B")}},
        {phone, std::nullopt, {Mode::edit, true, Selection::overview()}},
        {start, "Crew", {Mode::edit, false, Selection::source("Crew")}}, // only the exact words
    };
    for (const auto& [from, step, to] : steps)
        EXPECT_EQ(applyDevSelect(from, step), to) << step.value_or("-").toStdString();
}

TEST(SidebarModel, LabelsSectionsSubtitlesAndMarks) {
    const std::pair<std::vector<std::string>, std::string> labels[] = {
        {{"ALL", "Main"}, "Main"},
        {{"Main", "ALL"}, "Main"},
        {{"ALL", "Main", "Left"}, "Main › Left"},
        {{"ALL", "ALL"}, ""},
    };
    for (const auto& [groups, label] : labels) EXPECT_EQ(sidebarLabel(testSource("S", groups)), label);

    // Only consecutive sources share a section.
    const std::vector<SidebarSection> sections = sidebarSections(
        projectOf({testSource("A", {"ALL", "Main"}), testSource("A2", {"Main"}), testSource("B", {"Side"}),
                   testSource("C", {"Main", "ALL"}), testSource("D", {}), testSource("E", {"ALL"})}));
    ASSERT_EQ(sections.size(), 5u);
    EXPECT_EQ(sections[0].sources, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(sections[2].sources, (std::vector<std::size_t>{3}));

    const std::tuple<std::vector<std::string>, std::string, std::string> subtitles[] = {
        {{"K2", "K2", "K2_C", "KARA"}, "flown", "3× K2 + 1× KARA · flown"},
        {{"K2_C_C"}, "", "1× K2_C · stacked"},
    };
    for (const auto& [types, configuration, subtitle] : subtitles) {
        Source source = testSource("S", {"Main"});
        std::vector<Enclosure> enclosures(types.size());
        for (std::size_t i = 0; i < types.size(); ++i) {
            enclosures[i].index = std::int64_t(i + 1);
            enclosures[i].type = types[i];
        }
        source.enclosures = List<Enclosure>(std::move(enclosures));
        source.configuration = configuration;
        EXPECT_EQ(sourceSubtitle(source), subtitle);
    }

    const std::vector<Issue> issues = {
        {Issue::Level::warning, "Main/A", ""}, {Issue::Level::error, "Main/A", ""},
        {Issue::Level::warning, "Main/A", ""}, {Issue::Level::check, "Main/B", ""},
        {Issue::Level::warning, "Main/C", ""}, {Issue::Level::error, std::nullopt, ""},
    };
    const std::tuple<std::string, std::optional<Issue::Level>, IssueMark> marks[] = {
        {"Main/A", Issue::Level::error, IssueMark::error},
        {"Main/B", Issue::Level::check, IssueMark::none},
        {"Main/C", Issue::Level::warning, IssueMark::warning},
    };
    for (const auto& [id, level, mark] : marks) {
        EXPECT_EQ(highestIssueLevel(issues, id), level) << id;
        EXPECT_EQ(issueMark(highestIssueLevel(issues, id)), mark) << id;
    }
}

TEST(Program, CommandLineFilesAreLocalFilesInTheirOrder) {
    const QList<QUrl> files = commandLineFiles(
        {"b report.pdf", "--verbose", "/shows/a.qvrig", QString(), "file:///shows/c%20d.dxf"});
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(files[0], QUrl::fromLocalFile(QDir::current().filePath("b report.pdf")));
    EXPECT_EQ(files[1], QUrl::fromLocalFile("/shows/a.qvrig"));
    EXPECT_EQ(files[2].toLocalFile(), "/shows/c d.dxf");
}

} // namespace
} // namespace rig::app
