#include "ImportWorker.h"

#include "base/File.h"
#include "base/Text.h"
#include "import/InventoryCSV.h"
#include "import/ReportParser.h"
#include "model/RigError.h"

#include <algorithm>
#include <exception>

namespace rig::app {

namespace {

std::string extensionOf(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    if (!extension.empty()) extension.erase(0, 1); // the "."
    return toLower(extension);
}

// A line about a file, shown as it is: the name is isolated so that it cannot turn the
// words around it.
std::string fileLine(const std::string& fileName, const std::string& text) {
    return bidiIsolated(fileName) + ": " + text;
}

// Readers' errors name their file already (isolated in place); anything else gets the name in
// front.
std::string errorLine(const std::string& message, const std::string& fileName) {
    const std::size_t at = message.find(fileName);
    if (at == std::string::npos) return fileLine(fileName, message);
    std::string line = message;
    line.replace(at, fileName.size(), bidiIsolated(fileName));
    return line;
}

} // namespace

ImportReaders ImportReaders::standard() {
    return {
        [](const std::filesystem::path& file, std::stop_token stop) {
            throwIfCancelled(stop);
            Report report = ReportParser::parse(file);
            throwIfCancelled(stop);
            return report;
        },
        [](const std::filesystem::path& file, std::stop_token stop, ImportNotes& notes) {
            return InventoryCSV::parse(file, stop, &notes);
        },
        [](const std::filesystem::path& file, std::stop_token stop, ImportNotes& notes) {
            return DXFReader::parse(file, stop, &notes);
        },
    };
}

int importFileRank(const std::filesystem::path& file) {
    const std::string extension = extensionOf(file);
    if (extension == "pdf") return 0;
    if (extension == "csv") return 1;
    if (extension == "dxf") return 2;
    return 9;
}

ImportResult importFiles(const ImportInput& input, const ImportReaders& readers, std::stop_token stop) {
    ImportResult result{input.snapshot, std::nullopt, {}};
    Project& project = result.project;
    if (project.isEmpty()) {
        project.delta = input.delta;
        project.author = input.author;
    }

    std::vector<std::filesystem::path> files = input.files;
    std::stable_sort(files.begin(), files.end(),
                     [](const auto& a, const auto& b) { return importFileRank(a) < importFileRank(b); });

    for (const std::filesystem::path& file : files) {
        throwIfCancelled(stop);
        const std::string name = fileNameOf(file);
        const std::string extension = extensionOf(file);
        const auto addNotes = [&](const ImportNotes& notes) {
            result.errors.append(notes, fileLine(name, ""));
        };
        try {
            if (extension == "pdf") {
                const bool wasEmpty = project.isEmpty();
                const Report report = readers.report(file, stop);
                Project merged = project;
                std::vector<std::string> changes = merged.importReport(report, name, input.now(), stop);
                project = std::move(merged);
                // A first report has nothing to compare with.
                if (!wasEmpty) result.changes = std::move(changes);
            } else if (extension == "csv") {
                ImportNotes notes;
                project.importInventory(readers.inventory(file, stop, notes), name);
                addNotes(notes);
            } else if (extension == "dxf") {
                if (project.isEmpty()) {
                    result.errors.add("Import the Soundvision report before the DXF.");
                    continue;
                }
                ImportNotes notes;
                const std::vector<DXFSource> sources = readers.dxf(file, stop, notes);
                // Merged into a copy so that a merge that throws leaves nothing of this file.
                Project merged = project;
                merged.importDXF(sources, name, stop);
                project = std::move(merged);
                addNotes(notes);
            } else {
                result.errors.add(fileLine(name, "unknown file type (use PDF, CSV or DXF)."));
            }
        } catch (const Cancelled&) {
            throw;
        } catch (const std::exception& e) {
            result.errors.add(errorLine(e.what(), name));
        }
    }
    return result;
}

} // namespace rig::app
