// The reading half of a file import: reads report, inventory and loudspeaker files into a copy
// of the project. Pure: it touches no QObject and no setting, so it runs on a worker thread.
#pragma once

#include "base/Date.h"
#include "base/List.h"
#include "import/DXFReader.h"
#include "import/ImportNotes.h"
#include "model/Project.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <type_traits>
#include <vector>

namespace rig::app {

// A report reader: it names in its notes the pages it could not read. One that takes no notes
// serves as well.
class ReportReader {
public:
    using Read = std::function<Report(const std::filesystem::path&, std::stop_token, ImportNotes&)>;

    ReportReader() = default;
    template <class F>
    requires std::is_invocable_r_v<Report, F&, const std::filesystem::path&, std::stop_token, ImportNotes&>
    ReportReader(F read) : read_(std::move(read)) {}
    template <class F>
    requires(!std::is_invocable_v<F&, const std::filesystem::path&, std::stop_token, ImportNotes&> &&
             std::is_invocable_r_v<Report, F&, const std::filesystem::path&, std::stop_token>)
        ReportReader(F read)
        : read_([read = std::move(read)](const std::filesystem::path& file, std::stop_token stop,
                                         ImportNotes&) mutable { return read(file, std::move(stop)); }) {}

    Report operator()(const std::filesystem::path& file, std::stop_token stop, ImportNotes& notes) const {
        return read_(file, std::move(stop), notes);
    }
    Report operator()(const std::filesystem::path& file, std::stop_token stop) const {
        ImportNotes notes;
        return read_(file, std::move(stop), notes);
    }
    explicit operator bool() const { return bool(read_); }

private:
    Read read_;
};

// The readers an import uses; tests put in their own. Each throws an error whose message
// names the file, or rig::Cancelled once the stop token is triggered. Each names in its notes
// what it could not read.
struct ImportReaders {
    ReportReader report;
    std::function<List<InventoryItem>(const std::filesystem::path&, std::stop_token, ImportNotes&)> inventory;
    std::function<std::vector<DXFSource>(const std::filesystem::path&, std::stop_token, ImportNotes&)> dxf;

    // The library's report, inventory and DXF readers.
    static ImportReaders standard();
};

struct ImportInput {
    std::vector<std::filesystem::path> files; // in the order handed in
    Project snapshot;                         // the project when the import started
    DeltaSpec delta;                          // the motor library's defaults for an empty project
    std::string author;                       // the default author for an empty project
    std::function<Date()> now = nowSeconds;   // the time recorded for each report
};

struct ImportResult {
    Project project;
    // The changes of a report that replaced an earlier one (the last such report's).
    std::optional<std::vector<std::string>> changes;
    // One line per failed file and per thing a reader skipped, each beginning with the
    // file's name, in the order they arose; past the first ten only counted, with what the
    // readers counted themselves.
    ImportNotes errors;
};

// Reports first, then inventories, then DXFs, then anything else.
int importFileRank(const std::filesystem::path& file);

// Reads and merges every file. A file that fails adds its error line and merges nothing; the
// other files still apply. Throws rig::Cancelled when `stop` is triggered.
ImportResult importFiles(const ImportInput& input, const ImportReaders& readers, std::stop_token stop = {});

} // namespace rig::app
