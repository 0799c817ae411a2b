#include "support/CrewTesting.h"

#include "support/ProjectFixtures.h"
#include "support/ReportGenerator.h"

#include "CrewWebView.h"
#include "PageScheme.h"
#include "QtText.h"
#include "base/Number.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <cmath>
#include <memory>

namespace rig::app::testing {
namespace {

constexpr double pi = 3.14159265358979323846;

double r2(double v) {
    return std::round(v * 100) / 100;
}

// A flown array hung at `pos`, facing `azimuth`, its pickups on the bumper along the plan axis.
Source hang(std::string name, std::vector<std::string> groups, XYZ pos, double azimuth, int cabinets,
            int pickupCount, std::string type) {
    Source s =
        fixtures::flownArray(std::move(name), std::move(groups), cabinets, pickupCount, std::move(type));
    s.configuration = "flown array";
    s.position = pos;
    s.azimuth = azimuth;
    const double ux = std::sin(azimuth * pi / 180), uy = std::cos(azimuth * pi / 180);
    auto& pickups = s.pickups.edit();
    for (std::size_t i = 0; i < pickups.size(); ++i) {
        const double along = i == 0 ? 0.25 : -0.35 - 0.1 * double(i - 1);
        pickups[i].position = XYZ(r2(pos.x + along * ux), r2(pos.y + along * uy), r2(pos.z + 0.1));
    }
    double top = pos.z;
    for (Enclosure& e : s.enclosures.edit()) {
        e.topZ = r2(top);
        e.bottomZ = r2(top -= 0.35);
    }
    s.bottomElevation = r2(top);
    return s;
}

} // namespace

Project showProject() {
    std::vector<Source> sources{
        hang("Main L", {"ALL", "Main", "Left"}, XYZ(-7.5, 0.5, 11.2), -4, 12, 2, "K2"),
        hang("Main R", {"ALL", "Main", "Right"}, XYZ(7.5, 0.5, 11.2), 4, 12, 2, "K2"),
        hang("Sub Flown L", {"ALL", "Subs"}, XYZ(-9.2, 0.2, 10.8), 0, 8, 2, "KS28"),
        fixtures::groundStack("Sub Ground C", {"ALL", "Subs"}, 3),
        hang("Out L", {"ALL", "Outfill"}, XYZ(-13, 4, 9.5), -38, 8, 3, "Kara II"),
        hang("Out R", {"ALL", "Outfill"}, XYZ(13, 4, 9.5), 38, 8, 3, "Kara II"),
        hang("Delay 1", {"ALL", "Delays"}, XYZ(-6, 28, 8.5), -2, 6, 2, "Kara II")};
    // Two sources as a report gives them (names that need care, fewer fields), hung over the stage edge.
    test::ReportGeneratorOptions options;
    options.sources = 6;
    options.seed = 11;
    const Report generated = test::generateReport(options).expected;
    for (std::size_t i : {4, 5}) {
        Source s = generated.sources[i];
        const Source at = hang(s.name, {}, XYZ(i == 4 ? -2 : 2, -1.5, 12.4), i == 4 ? -6 : 6, 1,
                               int(s.pickups.size()), "KARA II");
        s.position = at.position;
        s.azimuth = at.azimuth;
        for (std::size_t k = 0; k < s.pickups.size(); ++k) s.pickups.mut(k).position = at.pickups[k].position;
        sources.push_back(std::move(s));
    }
    sources[5].warnings.push_back(ReportWarning{ReportWarning::Level::caution, "Check the rear motor load."});
    sources[6].pickups.mut(1).load = -12.5; // the crew document adds its own error for this

    Project p = fixtures::projectWith(sources);
    p.name = "Arena – Show 2026";
    p.author = "Ana Rigger";
    p.reportFile = "Arena show report v2.pdf";
    const Motor d8 = fixtures::testMotor("D8+ 1000 kg", 58, 1), d5 = fixtures::testMotor("D8+ 500 kg", 38, 2);
    for (const Source& s : p.report.sources)
        for (const Pickup& pk : s.pickups)
            p.setExtra(s.id(), pk.role, PointExtra{s.name.starts_with("Out") ? d5 : d8, false});
    p.setExtra(sources[4].id(), "Rear", PointExtra{d5, true});
    p.setExtra(sources[5].id(), "Point 3", PointExtra{std::nullopt, true});
    p.delta.spacing = 0.8;
    p.riggingHeight = 18.5;
    p.groupRiggingHeights = TextMap<double>{{"Main", 19.25}, {"Delays", 14.0}};
    p.setHidden({sources[3].id()}, true);
    return p;
}

CrewDoc showCrewDoc(bool includeHidden) {
    const Project p = showProject();
    TextMap<List<std::string>> changes;
    changes.set(p.report.sources[0].id(), List<std::string>{"Front: load 380 → 402 kg"});
    return CrewDoc::build(p, changes, fixtures::testDate(), includeHidden);
}

QVariant runJs(QWebEnginePage& page, const QString& script, int timeoutMs) {
    auto result = std::make_shared<std::optional<QVariant>>();
    page.runJavaScript(script, [result](const QVariant& v) { *result = v; });
    if (!waitFor([&] { return result->has_value(); }, timeoutMs)) return {};
    return **result;
}

namespace {

// Until `loaded` holds and the page has put something into its app element.
bool untilDrawn(QWebEnginePage& page, int timeoutMs, const std::function<bool()>& loaded) {
    static const QString drawn = QStringLiteral("!!(document.getElementById('app') || {}).firstElementChild");
    const QDeadlineTimer deadline(timeoutMs);
    if (!waitFor(loaded, int(deadline.remainingTime()))) return false;
    return waitFor([&] { return runJs(page, drawn, int(deadline.remainingTime())).toBool(); },
                   int(deadline.remainingTime()));
}

} // namespace

bool waitForDrawn(CrewWebView& view, int timeoutMs) {
    return untilDrawn(*view.page(), timeoutMs, [&] { return view.isLoaded(); });
}

ShownPage::ShownPage(const QString& html, QSize size) : view_(std::make_unique<QWebEngineView>()) {
    auto* page = new PinnedPage(QWebEngineProfile::defaultProfile(), view_.get());
    page_ = page;
    view_->setPage(page);
    view_->resize(size);
    view_->show();
    QObject::connect(page, &QWebEnginePage::loadFinished, [this](bool ok) { loaded_ = loaded_ || ok; });
    url_ = servePage(page->profile(), html.toUtf8());
    page->loadPinned(url_);
}

ShownPage::~ShownPage() {
    view_.reset();
    releasePage(url_);
}

bool ShownPage::waitForDrawn(int timeoutMs) {
    return untilDrawn(*page_, timeoutMs, [this] { return loaded_; });
}

PdfFacts readPdf(const QString& path) {
    PdfFacts facts;
    QProcess info, text;
    info.start("pdfinfo", {path});
    text.start("pdftotext", {"-layout", path, "-"});
    if (!info.waitForFinished(60000) || !text.waitForFinished(120000) || info.exitCode() || text.exitCode())
        return facts;
    const auto m = QRegularExpression(R"(Pages:\s+(\d+)[\s\S]*Page size:\s+([\d.]+) x ([\d.]+) pts)")
                       .match(QString::fromUtf8(info.readAllStandardOutput()));
    facts.pages = int(parseInteger(toStd(m.captured(1))).value_or(0));
    facts.width = parseDecimal(toStd(m.captured(2))).value_or(0);
    facts.height = parseDecimal(toStd(m.captured(3))).value_or(0);
    facts.text = QString::fromUtf8(text.readAllStandardOutput());
    facts.readable = m.hasMatch();
    return facts;
}

std::vector<QStringList> jsonRows(const QString& json) {
    std::vector<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(json.toUtf8()).array()) {
        QStringList cells;
        for (const QJsonValue& cell : row.toArray()) cells << cell.toString();
        rows.push_back(cells);
    }
    return rows;
}

std::vector<PdfWord> readPdfWords(const QString& path) {
    QProcess text;
    text.start("pdftotext", {"-bbox", path, "-"});
    if (!text.waitForFinished(120000) || text.exitCode()) return {};
    const QString html = QString::fromUtf8(text.readAllStandardOutput());
    static const QRegularExpression item(
        R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    std::vector<PdfWord> words;
    int page = 0;
    for (auto it = item.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0) == "<page ") {
            ++page;
            continue;
        }
        auto at = [&](int i) { return parseDecimal(toStd(m.captured(i))).value_or(0); };
        QString word = m.captured(5);
        word.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&apos;", "'");
        words.push_back({page, at(1), at(2), at(3), at(4), word.replace("&amp;", "&")});
    }
    return words;
}

} // namespace rig::app::testing
