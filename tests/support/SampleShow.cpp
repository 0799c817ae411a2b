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

ReportGeneratorOptions denseShowOptions(int sources) {
    ReportGeneratorOptions options;
    options.seed = 17;
    options.fileName = "Dense Show.xmlp";
    auto add = [&](std::vector<std::string> groups, std::string name, bool flown, std::string type, int count,
                   XYZ at, double azimuth) {
        SourcePlan s;
        s.groups = std::move(groups);
        s.name = std::move(name);
        s.configuration = flown ? "flown" : "Ground stacked";
        s.bumper = flown ? type + "-BUMP" : "";
        s.enclosureType = std::move(type);
        s.enclosures = count;
        s.cabinetWeight = flown ? 56 : 79;
        s.frameWeight = flown ? 60 : 0;
        s.cabinetHeight = flown ? 0.35 : 0.55;
        s.position = at;
        s.azimuth = azimuth;
        options.sourceList.push_back(std::move(s));
    };
    for (const int side : {-1, 1}) {
        const std::string lr = side < 0 ? " L" : " R";
        add({"ALL", "MAIN"}, "MAIN" + lr, true, "K2", 12, XYZ(side * 7.5, 0.5, 11.5), side * 8);
        add({"ALL", "SUB"}, "MAIN SUB" + lr, true, "KS28", 8, XYZ(side * 9, 1, 11), side * 8);
        add({"ALL", "OUT"}, "OUT" + lr, true, "KARA", 8, XYZ(side * 13, 4, 9), side * 30);
    }
    for (int i = 0; i < 4; ++i)
        add({"ALL", "GR SUB"}, "CS " + itos(i + 1), false, "KS28", 3, XYZ(-3 + 2 * i, 1.2, 0), 0);
    for (int i = 0; i < 3; ++i)
        add({"ALL", "FRONT FILL"}, std::string("FRONT FILL ") + "LCR"[i], false, "X8", 1,
            XYZ(-4 + 4 * i, -1, 0), 0);
    const char* towers[] = {"OUTER LEFT", "INNER LEFT", "INNER RIGHT", "OUTER RIGHT"};
    for (int i = 0; int(options.sourceList.size()) < sources; ++i) {
        const int row = i / 4, place = i % 4;
        const std::string name = row ? "DELAY TOWER ROW " + itos(row + 1) + " " + towers[place]
                                     : std::string("DELAY TOWER ") + towers[place];
        add({"DELAY", "ROW " + itos(row + 1)}, name, true, "KARA", 6,
            XYZ(-9 + 6 * place + (row % 2) * 1.5, 30 + 5 * row, 8), place < 2 ? -10 : 10);
    }
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
