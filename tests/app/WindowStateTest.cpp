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
#include <vector>

namespace rig::app {
namespace {

using fixtures::projectOf;
using fixtures::testSource;

Source withEnclosures(Source source, std::vector<std::string> types, std::string configuration) {
    std::vector<Enclosure> enclosures;
    for (std::size_t i = 0; i < types.size(); ++i) {
        Enclosure e;
        e.index = std::int64_t(i + 1);
        e.type = types[i];
        enclosures.push_back(e);
    }
    source.enclosures = List<Enclosure>(std::move(enclosures));
    source.configuration = std::move(configuration);
    return source;
}

TEST(WindowState, ContentFollowsProjectAndMode) {
    const Project empty;
    const Project show = projectOf({testSource("Main L", {"ALL", "Main"})});
    Project inventoryOnly;
    inventoryOnly.inventory = List<InventoryItem>({InventoryItem{}});
    struct Case {
        const Project* project;
        Mode mode;
        WindowContent expected;
    } cases[] = {
        {&empty, Mode::edit, WindowContent::welcome},
        {&empty, Mode::crew, WindowContent::welcome},
        {&inventoryOnly, Mode::crew, WindowContent::welcome},
        {&show, Mode::edit, WindowContent::edit},
        {&show, Mode::crew, WindowContent::crew},
    };
    for (const Case& c : cases) EXPECT_EQ(windowContent(*c.project, c.mode), c.expected);
}

TEST(WindowState, DetailIsTheFirstSourceWithTheSelectedIdentifierElseTheOverview) {
    // Two sources with one identifier: the first in report order is shown.
    const Project project =
        projectOf({testSource("A", {"ALL", "Main"}), testSource("B", {"Side"}), testSource("B", {"Side"})});
    struct Case {
        std::optional<Selection> selection;
        std::optional<std::size_t> expected;
    } cases[] = {
        {std::nullopt, std::nullopt},
        {Selection::overview(), std::nullopt},
        {Selection::source("ALL/Main/A"), 0},
        {Selection::source("Side/B"), 1},
        {Selection::source("Main/A"), std::nullopt},   // no such source any more
        {Selection::source("overview"), std::nullopt}, // a step text naming no source
        {Selection::source("side/b"), std::nullopt},   // case matters
    };
    for (const Case& c : cases) {
        EXPECT_EQ(detailSource(project, c.selection), c.expected)
            << (c.selection && c.selection->sourceID ? *c.selection->sourceID : "(overview)");
    }
    EXPECT_EQ(Selection::source("Caf\xC3\xA9"), Selection::source("Cafe\xCC\x81")) << "compared canonically";
}

TEST(WindowState, DevSelectSteps) {
    const WindowView start{Mode::edit, false, Selection::source("Main/A")};
    const WindowView phoneCrew{Mode::crew, true, Selection::source("Main/A")};
    struct Case {
        WindowView from;
        std::optional<QString> step;
        WindowView expected;
    } cases[] = {
        {start, QStringLiteral("phone"), {Mode::crew, true, Selection::source("Main/A")}},
        {start, QStringLiteral("crew"), {Mode::crew, false, Selection::source("Main/A")}},
        // "crew" is the wide preview, also after "phone".
        {phoneCrew, QStringLiteral("crew"), {Mode::crew, false, Selection::source("Main/A")}},
        // A source: edit mode with that source, size kept.
        {phoneCrew, QStringLiteral("Side/B"), {Mode::edit, true, Selection::source("Side/B")}},
        // "overview" is a text like any other; the detail falls back to the overview.
        {start, QStringLiteral("overview"), {Mode::edit, false, Selection::source("overview")}},
        {phoneCrew, std::nullopt, {Mode::edit, true, Selection::overview()}},
        // Only the exact words switch to the crew view.
        {start, QStringLiteral("Crew"), {Mode::edit, false, Selection::source("Crew")}},
        {start, QStringLiteral("phone "), {Mode::edit, false, Selection::source("phone ")}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(applyDevSelect(c.from, c.step), c.expected) << (c.step ? c.step->toStdString() : "(none)");
    }
}

TEST(SidebarModel, LabelsAndSections) {
    struct Case {
        std::vector<std::string> groups;
        std::string label;
    } cases[] = {
        {{"ALL", "Main"}, "Main"},
        {{"Main"}, "Main"},
        {{"Main", "ALL"}, "Main"},
        {{"ALL"}, "ALL"},
        {{}, ""},
        {{"ALL", "Main", "Left"}, "Main › Left"},
        {{"ALL", "ALL"}, ""},
        {{"all", "Main"}, "all › Main"},
    };
    for (const Case& c : cases) EXPECT_EQ(sidebarLabel(testSource("S", c.groups)), c.label);

    // Only consecutive sources share a section.
    const Project project =
        projectOf({testSource("A", {"ALL", "Main"}), testSource("A2", {"Main"}), testSource("B", {"Side"}),
                   testSource("C", {"Main", "ALL"}), testSource("D", {}), testSource("E", {"ALL"})});
    const std::vector<SidebarSection> sections = sidebarSections(project);
    ASSERT_EQ(sections.size(), 5u);
    EXPECT_EQ(sections[0].sources, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(sections[2].label, "Main");
    EXPECT_EQ(sections[2].sources, (std::vector<std::size_t>{3}));
}

TEST(SidebarModel, Subtitles) {
    struct Case {
        std::vector<std::string> types;
        std::string configuration;
        std::string subtitle;
    } cases[] = {
        {{"K2", "K2", "K2_C", "KARA"}, "flown", "3× K2 + 1× KARA · flown"},
        {{"KS28", "KS28"}, "stacked", "2× KS28 · stacked"},
        {{}, "flown", " · flown"},
        {{}, "", " · stacked"},
        {{"K2"}, "Flown", "1× K2 · stacked"},
        {{"_C"}, "", "1×  · stacked"},
        {{"KARA", "K2", "KARA"}, "Flown array (flown)", "2× KARA + 1× K2 · flown"},
        {{"K2_C_C"}, "", "1× K2_C · stacked"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sourceSubtitle(withEnclosures(testSource("S", {"Main"}), c.types, c.configuration)),
                  c.subtitle);
    }
}

TEST(SidebarModel, HighestIssueLevelAndMark) {
    auto issue = [](Issue::Level level, std::optional<std::string> source) {
        return Issue{level, std::move(source), "text"};
    };
    const std::vector<Issue> issues = {
        issue(Issue::Level::warning, "Main/A"), issue(Issue::Level::error, "Main/A"),
        issue(Issue::Level::warning, "Main/A"), issue(Issue::Level::check, "Main/B"),
        issue(Issue::Level::warning, "Main/C"), issue(Issue::Level::error, std::nullopt),
    };
    const std::tuple<std::string, std::optional<Issue::Level>, IssueMark> cases[] = {
        {"Main/A", Issue::Level::error, IssueMark::error},
        {"Main/B", Issue::Level::check, IssueMark::none},
        {"Main/C", Issue::Level::warning, IssueMark::warning},
        {"Main/E", std::nullopt, IssueMark::none},
    };
    for (const auto& [id, level, mark] : cases) {
        EXPECT_EQ(highestIssueLevel(issues, id), level) << id;
        EXPECT_EQ(issueMark(highestIssueLevel(issues, id)), mark) << id;
    }
}

TEST(Program, CommandLineFilesAreLocalFilesInTheirOrder) {
    const QString here = QDir::currentPath();
    const QList<QUrl> files = commandLineFiles({QStringLiteral("b report.pdf"), QStringLiteral("--verbose"),
                                                QStringLiteral("/shows/a.qvrig"), QString(),
                                                QStringLiteral("file:///shows/c%20d.dxf")});
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(files[0], QUrl::fromLocalFile(QDir(here).filePath(QStringLiteral("b report.pdf"))));
    EXPECT_EQ(files[1], QUrl::fromLocalFile(QStringLiteral("/shows/a.qvrig")));
    EXPECT_EQ(files[2].toLocalFile(), "/shows/c d.dxf");
}

} // namespace
} // namespace rig::app
