#include "export/PublishChanges.h"
#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace rig::app {
namespace {

using Texts = std::vector<std::string>;

Project twoArrays() {
    return fixtures::projectWith(
        {fixtures::flownArray("Main L", {"ALL", "Main"}), fixtures::flownArray("Main R", {"ALL", "Main"})});
}

const std::string left = "ALL/Main/Main L";
const std::string right = "ALL/Main/Main R";

// The project as a publish at this moment would record it.
Project published(Project p) {
    p.share =
        ShareInfo{"tok", "http://x/c/tok", fixtures::testDate(), publishFingerprints(p), {}, p.hiddenSources};
    return p;
}

std::map<std::string, Texts> plain(const ChangeMap& m) {
    std::map<std::string, Texts> out;
    for (const auto& [id, texts] : m) out[id] = texts.vec();
    return out;
}

PointExtra motor(const std::string& name, double kg = 58, unsigned seed = 1) {
    return PointExtra{fixtures::testMotor(name, kg, seed), false};
}

TEST(PublishChanges, ChangeSummary) {
    struct Case {
        const char* name;
        std::function<void(Project&)> before; // applied before the publish
        std::function<void(Project&)> after;  // applied after it
        std::map<std::string, Texts> expected;
    };
    const std::vector<Case> cases = {
        {"nothing changed", {}, {}, {}},
        {"new source",
         {},
         [](Project& p) {
             p.report.sources.push_back(fixtures::flownArray("Out", {"ALL", "Out"}));
         },
         {{"ALL/Out/Out", {"new source"}}}},
        {"removed source gives no entry", {}, [](Project& p) { p.report.sources.edit().pop_back(); }, {}},
        {"source diff first, then points",
         {},
         [](Project& p) {
             p.report.sources.mut(0).bumper = "K2-BUMP-2";
             p.setExtra(left, "Rear", motor("D8+"));
             p.setExtra(left, "Front", PointExtra{std::nullopt, true});
         },
         {{left, {"bumper K2-BUMP → K2-BUMP-2", "Front Delta added", "Rear motor → D8+"}}}},
        {"motor of the same name but another weight",
         [](Project& p) { p.setExtra(left, "Front", motor("D8+", 58, 1)); },
         [](Project& p) { p.setExtra(left, "Front", motor("D8+", 80, 2)); },
         {}},
        {"motor removed and Delta removed on one point: Delta first",
         [](Project& p) {
             p.setExtra(right, "Front", PointExtra{fixtures::testMotor("D8+"), true});
         },
         [](Project& p) { p.setExtra(right, "Front", PointExtra{}); },
         {{right, {"Front Delta removed", "Front motor → none"}}}},
        {"motor replaced",
         [](Project& p) { p.setExtra(left, "Rear", motor("D8+")); },
         [](Project& p) { p.setExtra(left, "Rear", motor("Lodestar", 50, 3)); },
         {{left, {"Rear motor → Lodestar"}}}},
        {"role only in the published settings is compared against nothing",
         [](Project& p) { p.setExtra(left, "Gone", motor("D8+")); },
         [](Project& p) { p.extras = {}; },
         {{left, {"Gone motor → none"}}}},
        {"roles in ascending order whatever the order of change",
         {},
         [](Project& p) {
             p.setExtra(left, "b", motor("M"));
             p.setExtra(left, "B", motor("M"));
             p.setExtra(left, "a", motor("M"));
         },
         {{left, {"B motor → M", "a motor → M", "b motor → M"}}}},
        {"hidden sources are compared too",
         [](Project& p) { p.setHidden({left}, true); },
         [](Project& p) { p.report.sources.mut(0).bumper.reset(); },
         {{left, {"bumper K2-BUMP → –"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Project p = twoArrays();
        EXPECT_TRUE(publishChangeSummary(p).empty()); // never published
        if (c.before) c.before(p);
        p = published(p);
        if (c.after) c.after(p);
        EXPECT_EQ(plain(publishChangeSummary(p)), c.expected);
    }
}

TEST(PublishChanges, AnAttachedLinkHasNoChangesAndIsNeverStale) {
    Project p = twoArrays();
    p.share = ShareInfo{"tok", "http://x/c/tok", fixtures::testDate(), {}, {}, std::nullopt};
    p.setHidden({left}, true);
    p.report.sources.mut(0).bumper.reset();
    EXPECT_TRUE(publishChangeSummary(p).empty());
    EXPECT_FALSE(isShareStale(p));
}

TEST(PublishChanges, StaleOnlyWhenTheHiddenSetDiffers) {
    struct Case {
        const char* name;
        std::optional<TextSet> publishedHidden;
        std::function<void(Project&)> after;
        bool stale;
    };
    const std::vector<Case> cases = {
        {"nothing hidden", std::nullopt, {}, false},
        {"hide one", std::nullopt, [](Project& p) { p.setHidden({left}, true); }, true},
        {"hide and show again", std::nullopt,
         [](Project& p) {
             p.setHidden({left}, true);
             p.setHidden({left}, false);
         },
         false},
        {"absent equals empty", TextSet{}, [](Project& p) { p.hiddenSources = TextSet{}; }, false},
        {"show a published hidden one", TextSet{left}, [](Project& p) { p.hiddenSources.reset(); }, true},
        {"same set", TextSet{left, right},
         [](Project& p) {
             p.setHidden({right, left}, true);
         },
         false},
        {"edited source is not stale", std::nullopt, [](Project& p) { p.report.sources.mut(0).site = 7.0; },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Project p = published(twoArrays());
        p.share->hidden = c.publishedHidden;
        p.hiddenSources = c.publishedHidden;
        if (c.after) c.after(p);
        EXPECT_EQ(isShareStale(p), c.stale);
    }
    Project never = twoArrays();
    never.setHidden({left}, true);
    EXPECT_FALSE(isShareStale(never));
}

TEST(PublishChanges, FingerprintsHoldEverySourceWithItsExtras) {
    Project p = twoArrays();
    p.setExtra(left, "Front", motor("D8+"));
    p.setHidden({right}, true);
    const TextMap<SourceFingerprint> f = publishFingerprints(p);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f.get(left)->source, p.report.sources[0]);
    EXPECT_EQ(f.get(left)->extra, *p.extras.get(left));
    EXPECT_EQ(f.get(right)->source, p.report.sources[1]); // hidden ones included
    EXPECT_FALSE(f.get(right)->extra.has_value());

    // Two sources with one identifier: the later wins.
    Project twice =
        fixtures::projectWith({fixtures::flownArray("A", {"G"}, 4), fixtures::flownArray("A", {"G"}, 6)});
    EXPECT_EQ(publishFingerprints(twice).get("G/A")->source.enclosures.size(), 6u);
}

TEST(PublishChanges, PublishedStateSendsSourcesAndExtrasAsPublished) {
    Project p = twoArrays();
    p.setExtra(left, "Front", motor("D8+"));
    p = published(p);
    const Source publishedLeft = p.report.sources[0];

    p.report.sources.mut(0).enclosures.mut(3).angle = 9.5;                   // edited since
    p.report.sources.edit().erase(p.report.sources.edit().begin() + 1);      // removed since
    p.report.sources.push_back(fixtures::flownArray("Out", {"ALL", "Out"})); // added since
    p.setExtra(left, "Rear", motor("Lodestar", 50, 3));
    p.setHidden({left}, true);
    p.name = "Renamed";

    const Project state = publishedState(p);
    ASSERT_EQ(state.report.sources.size(), 1u);
    EXPECT_EQ(state.report.sources[0], publishedLeft);
    ASSERT_EQ(state.extras.size(), 1u);
    EXPECT_EQ(state.extras.get(left)->points.size(), 1u);
    EXPECT_TRUE(state.extras.get(left)->points.contains("Front"));
    EXPECT_EQ(state.hiddenSources, p.hiddenSources);
    EXPECT_EQ(state.name, "Renamed");
    EXPECT_EQ(state.share, p.share);
}

} // namespace
} // namespace rig::app
