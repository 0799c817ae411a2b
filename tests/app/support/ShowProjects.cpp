#include "support/ShowProjects.h"

#include "import/DXFReader.h"
#include "import/ReportParser.h"
#include "support/ProjectFixtures.h"
#include "support/ReportGenerator.h"
#include "support/TestDXF.h"

#include <QTemporaryDir>

#include <fstream>
#include <stdexcept>

namespace rig::app::testing {

std::string loudspeakerDXF(const Report& report) {
    return test::loudspeakerExport(report);
}

Project generatedShow(int sources, std::uint64_t seed) {
    test::ReportGeneratorOptions options;
    options.sources = sources;
    options.seed = seed;
    return generatedShow(options);
}

Project generatedShow(const test::ReportGeneratorOptions& options) {
    const test::GeneratedReport generated = test::generateReport(options);
    QTemporaryDir dir;
    const std::string path = dir.filePath("Arena show report.pdf").toStdString();
    {
        std::ofstream out(path, std::ios::binary);
        out.write(generated.pdf.data(), std::streamsize(generated.pdf.size()));
        if (!out) throw std::runtime_error("cannot write the test report");
    }
    Project project;
    project.importReport(ReportParser::parse(std::filesystem::path(path)), "Arena show report.pdf",
                         fixtures::testDate());
    project.importDXF(DXFReader::parseText(loudspeakerDXF(project.report)), "Arena show.dxf");
    return project;
}

std::string unreadableLoadReport() {
    test::ReportGeneratorOptions options;
    for (const char* name : {"Main L", "Main R"}) {
        test::SourcePlan plan;
        plan.groups = {"Main"};
        plan.name = name;
        plan.configuration = "flown";
        plan.bumper = "K2-BUMP";
        plan.enclosureType = "K2";
        plan.enclosures = 6;
        plan.frameWeight = 60;
        plan.position = XYZ(name[5] == 'L' ? -6 : 6, 2, 11);
        options.sourceList.push_back(plan);
    }
    options.sourceList[0].loadTexts = {"-", ""};
    return test::generateReport(options).pdf;
}

Project arenaShow() {
    using namespace fixtures;
    Source mainL = flownArray("Main L", {"ALL", "Main", "Left"}, 12, 2, "K2");
    mainL.warnings.push_back(ReportWarning{ReportWarning::Level::warning,
                                           "The rear motor load exceeds 80 % of the bumper limit."});
    mainL.warnings.push_back(ReportWarning{ReportWarning::Level::caution, "Check the pullback strap."});
    Source mainR = flownArray("Main R", {"ALL", "Main", "Right"}, 12, 2, "K2");
    mainR.position = XYZ(-4.5, -2.0, 11.2);
    for (std::size_t i = 0; i < mainR.pickups.size(); ++i) {
        mainR.pickups.mut(i).position.x = -mainR.pickups[i].position.x;
    }
    auto& panflex = mainR.enclosures.edit();
    for (std::size_t i = 0; i < panflex.size(); ++i) panflex[i].panflex = i < 4 ? "110|55/55" : "70|70";
    Source outL = flownArray("Out L", {"ALL", "Outfill"}, 6, 3, "KARA II");
    outL.position = XYZ(9.0, 1.5, 8.4);
    for (std::size_t i = 0; i < outL.pickups.size(); ++i) {
        Pickup& p = outL.pickups.mut(i);
        p.position = XYZ(9.0 + (i == 0 ? 0.2 : -0.3 - 0.15 * double(i - 1)), 1.5, 8.5);
    }
    auto& noAngles = outL.enclosures.edit();
    for (Enclosure& e : noAngles) {
        e.angle.reset();
        e.panflex.reset();
    }
    outL.hasAngles = false;
    Source subs = groundStack("Subs", {"ALL", "Subs"}, 3);
    subs.warnings.push_back(
        ReportWarning{ReportWarning::Level::error, "Stack is taller than the stage edge."});

    Project project = projectWith({mainL, mainR, outL, subs});
    project.importDXF(DXFReader::parseText(loudspeakerDXF(project.report)), "Arena show.dxf");
    project.setExtra(mainL.id(), "Front", PointExtra{testMotor("CM Lodestar 1t", 62, 3), true});
    project.setExtra(mainL.id(), "Rear", PointExtra{testMotor("CM Lodestar 1t", 62, 3), false});
    return project;
}

} // namespace rig::app::testing
