#include "support/SampleShow.h"

#include "base/File.h"
#include "support/TestDXF.h"

#include <charconv>
#include <map>
#include <stdexcept>
#include <system_error>

namespace rig::test {

namespace {

std::string itos(long long v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The product family as the inventory names it: the type's first word.
std::string familyOf(const std::string& type) {
    return type.substr(0, type.find(' '));
}

} // namespace

ReportGeneratorOptions sampleShowOptions() {
    ReportGeneratorOptions options;
    options.seed = 2026;
    options.fileName = "Sample Show.xmlp";
    auto flown = [](std::vector<std::string> groups, std::string name, std::string bumper, std::string type,
                    int count, double weight, double frame, double height, XYZ at, double azimuth,
                    std::string panflex, double delay) {
        SourcePlan s;
        s.groups = std::move(groups);
        s.name = std::move(name);
        s.configuration = "flown";
        s.bumper = std::move(bumper);
        s.enclosureType = std::move(type);
        s.enclosures = count;
        s.cabinetWeight = weight;
        s.frameWeight = frame;
        s.cabinetHeight = height;
        s.position = at;
        s.azimuth = azimuth;
        s.panflex = std::move(panflex);
        s.delay = delay;
        return s;
    };
    auto stacked = [](std::string name, XYZ at) {
        SourcePlan s;
        s.groups = {"ALL", "GR SUB"};
        s.name = std::move(name);
        s.configuration = "Ground stacked";
        s.enclosureType = "KS28";
        s.enclosures = 3;
        s.cabinetWeight = 79;
        s.cabinetHeight = 0.55;
        s.position = at;
        s.gain = -3;
        return s;
    };
    options.sourceList = {
        flown({"ALL", "MAIN"}, "L2 L", "K2-BUMP", "K2", 12, 56, 95, 0.35, XYZ(-7.5, 0.5, 11.5), -8, "110/70",
              0),
        flown({"ALL", "MAIN"}, "L2 R", "K2-BUMP", "K2", 12, 56, 95, 0.35, XYZ(7.5, 0.5, 11.5), 8, "70/110",
              0),
        stacked("CS 1", XYZ(-1.8, 1.2, 0)),
        stacked("CS 2", XYZ(1.8, 1.2, 0)),
        flown({"B-LAVA", "KARA"}, "KARA 1", "KARA-MINIBU", "KARA II", 8, 26, 32, 0.25, XYZ(-12.5, 6, 8), -35,
              "110/70", 9.5),
        flown({"B-LAVA", "KARA"}, "KARA 2", "KARA-MINIBU", "KARA II", 8, 26, 32, 0.25, XYZ(12.5, 6, 8), 35,
              "110/70", 9.5),
        flown({"B-LAVA", "KARA"}, "KARA 3", "KARA-MINIBU", "KARA II", 6, 26, 32, 0.25, XYZ(0, 26, 8.5), 0,
              "90/90", 62),
    };
    return options;
}

std::string inventoryExport(const Report& report) {
    std::map<std::string, long long> cabinets, bumpers;
    for (const Source& s : report.sources) {
        for (const Enclosure& e : s.enclosures) ++cabinets[e.type];
        if (s.bumper && !s.bumper->empty()) ++bumpers[*s.bumper];
    }
    long long total = 0;
    std::string out = "Category;Quantity;Family;Product;Description;Amp channels\r\n";
    for (const auto& [type, count] : cabinets) {
        out += "Enclosure;" + itos(count) + ";" + familyOf(type) + ";" + type + ";Loudspeaker enclosure;\r\n";
        total += count;
    }
    for (const auto& [bumper, count] : bumpers)
        out += "Rigging;" + itos(count) + ";" + familyOf(bumper.substr(0, bumper.find('-'))) + ";" + bumper +
               ";Flying frame;\r\n";
    // One four-channel controller for every six cabinets.
    out += "Amplified controller;" + itos((total + 5) / 6) + ";LA;LA12X;Amplified controller;4\r\n";
    return out;
}

SampleShow sampleShow() {
    GeneratedReport report = generateReport(sampleShowOptions());
    SampleShow show;
    show.reportPdf = std::move(report.pdf);
    show.expected = std::move(report.expected);
    show.inventoryCsv = inventoryExport(show.expected);
    show.loudspeakerDxf = loudspeakerExport(show.expected);
    return show;
}

std::vector<std::filesystem::path> writeSampleShow(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw std::runtime_error("Cannot make " + folder.string() + ": " + error.message());
    const SampleShow show = sampleShow();
    const std::vector<std::pair<std::string, const std::string*>> files = {
        {"sample-show-report.pdf", &show.reportPdf},
        {"sample-show-inventory.csv", &show.inventoryCsv},
        {"sample-show-loudspeakers.dxf", &show.loudspeakerDxf},
    };
    std::vector<std::filesystem::path> paths;
    for (const auto& [name, bytes] : files) {
        const std::filesystem::path path = std::filesystem::absolute(folder / name);
        try {
            writeFileAtomically(path, *bytes);
        } catch (const std::system_error& e) {
            throw std::runtime_error("Cannot write " + path.string() + ": " + e.code().message());
        }
        paths.push_back(path);
    }
    return paths;
}

} // namespace rig::test
