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

// A file's name as a message shows it: cut short (a name handed in by path need not be one
// the file system takes) and isolated, so that it cannot turn the words around it.
std::string shownFileName(const std::string& fileName) {
    return bidiIsolated(messagePiece(fileName));
}

// A line about a file.
std::string fileLine(const std::string& fileName, const std::string& text) {
    return shownFileName(fileName) + ": " + text;
}

// Readers' errors name their file already (shown as above, in place); anything else gets the
// name in front.
std::string errorLine(const std::string& message, const std::string& fileName) {
    const std::size_t at = message.find(fileName);
    if (fileName.empty() || at == std::string::npos) return fileLine(fileName, message);
    std::string line = message;
    line.replace(at, fileName.size(), shownFileName(fileName));
    return line;
}

} // namespace

ImportReaders ImportReaders::standard() {
    return {
        [](const std::filesystem::path& file, std::stop_token stop, ImportNotes& notes) {
            throwIfCancelled(stop);
            Report report = ReportParser::parse(file, {}, &notes);
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
        // What the reader skipped, named after the file's own line (if it failed).
        ImportNotes notes;
        try {
            if (extension == "pdf") {
                const bool wasEmpty = project.isEmpty();
                const Report report = readers.report(file, stop, notes);
                Project merged = project;
                std::vector<std::string> changes = merged.importReport(report, name, input.now(), stop);
                project = std::move(merged);
                // A first report has nothing to compare with.
                if (!wasEmpty) result.changes = std::move(changes);
            } else if (extension == "csv") {
                List<InventoryItem> items = readers.inventory(file, stop, notes);
                project.importInventory(items, name);
                project.inventoryIncomplete = !notes.empty();
            } else if (extension == "dxf") {
                if (project.isEmpty()) {
                    result.errors.add("Import the Soundvision report before the DXF.");
                    continue;
                }
                const std::vector<DXFSource> sources = readers.dxf(file, stop, notes);
                const bool whole = notes.empty();
                // Merged into a copy so that a merge that throws leaves nothing of this file.
                Project merged = project;
                merged.importDXF(sources, name, stop, &notes);
                // An array read without a shape is no older project's: the file lacks it.
                const bool shapeless = std::any_of(merged.dxf.begin(), merged.dxf.end(),
                                                   [](const auto& entry) { return !entry.second.top; });
                merged.dxfIncomplete = !whole || shapeless;
                project = std::move(merged);
            } else {
                result.errors.add(fileLine(name, "unknown file type (use PDF, CSV or DXF)."));
            }
        } catch (const Cancelled&) {
            throw;
        } catch (const std::exception& e) {
            result.errors.add(errorLine(e.what(), name));
        }
        result.errors.append(notes, fileLine(name, ""));
    }
    return result;
}

} // namespace rig::app
