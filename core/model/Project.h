// The project document: everything kept about one show.
#pragma once

#include "base/Date.h"
#include "base/JsonFwd.h"
#include "base/List.h"
#include "base/TextMap.h"
#include "model/Drawing.h"
#include "model/Extras.h"
#include "model/Report.h"
#include "model/Share.h"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rig {

struct DXFSource;  // import/DXFReader.h
class ImportNotes; // import/ImportNotes.h
struct Issue;      // analysis/Issues.h
struct IssueGroup; // analysis/Issues.h

struct Project {
    // The largest project file read: a show of a thousand arrays with everything filled in
    // takes some 15 MB.
    static constexpr std::uint64_t maxFileBytes = 256'000'000;

    std::int64_t formatVersion = 1;
    std::string name;
    std::optional<std::string> author;
    Report report;
    std::string reportFile;
    std::optional<Date> reportImportedAt;
    List<InventoryItem> inventory;
    std::string inventoryFile;
    // The reader skipped lines of the inventory file, or could not tell its last line whole.
    bool inventoryIncomplete = false;
    std::string dxfFile;
    // The reader skipped parts of the DXF file.
    bool dxfIncomplete = false;
    TextMap<DXFInfo> dxf;
    TextMap<SourceExtra> extras;
    DeltaSpec delta;
    std::optional<ShareInfo> share;
    List<ImportRecord> history;
    std::optional<TextSet> hiddenSources;
    std::optional<double> riggingHeight;
    std::optional<TextMap<double>> groupRiggingHeights;

    // Members of a newer version's file, written back as they were read.
    JsonUnknown unknown{};

    friend bool operator==(const Project& a, const Project& b);
    Json toJson() const;
    static Project fromJson(const Json& j, const JsonPath& path);

    // --- Project file text ---------------------------------------------------------
    // The project file: pretty-printed, keys sorted at every level.
    std::string fileText() const;
    // The recovery copy: the same encoding, compact.
    std::string recoveryText() const;
    // Reads either text; throws JsonDecodeError saying what is wrong and where.
    static Project fromText(std::string_view text);

    // --- Project operations ----------------------------------------------------------
    // Group path without "ALL" entries, joined with " › ".
    static std::string groupLabel(const Source& source);
    // Deepest group prefix with an entry, else the project-wide height.
    std::optional<double> riggingHeightFor(const Source& source) const;
    PointExtra extra(std::string_view sourceID, std::string_view role) const;
    void setExtra(std::string_view sourceID, std::string_view role, const PointExtra& value);
    bool isHidden(std::string_view sourceID) const;
    void setHidden(const std::vector<std::string>& sourceIDs, bool hidden);
    std::vector<std::string> visibleSourceIDs() const;
    bool isEmpty() const { return report.sources.empty(); }

    // --- Merges (import/) --------------------------------------------------------------
    // Replaces the report, keeps the user's settings, returns the change list. A requested
    // stop (looked at between sources) throws Cancelled and leaves the project unchanged.
    std::vector<std::string> importReport(const Report& newReport, const std::string& file, Date date,
                                          std::stop_token stop = {});
    // What changed between two states of one source; empty when nothing did.
    static std::vector<std::string> diff(const Source& oldSource, const Source& newSource);
    // Sets Pickup::fromDXF from the stored DXF pickup positions.
    void matchDXFPickups();
    void importInventory(const List<InventoryItem>& items, const std::string& file);
    // Pairs the DXF sources with the report's; a requested stop throws Cancelled and leaves
    // the project as it was. DXF sources that pair with none are named in `notes`.
    void importDXF(const std::vector<DXFSource>& sources, const std::string& file, std::stop_token stop = {},
                   ImportNotes* notes = nullptr);

    // --- Analysis (analysis/) ------------------------------------------------------------
    struct DeltaPoints {
        XYZ left;
        XYZ right;
    };
    std::optional<DeltaPoints> deltaPoints(const Source& source, const Pickup& pickup) const;
    std::vector<Issue> issues() const;
    std::vector<IssueGroup> groupedIssues() const;
};

// The library's number text: whole numbers without decimals, others "%.2f" with
// trailing zeros removed; numbers outside the 64-bit range in the bounded form of
// farNumberText (base/Number.h).
std::string fmt(double value);

// The source's group path without the report's top group "ALL" (exact, case-sensitive):
// what group labels and group layers are made of.
std::vector<std::string_view> groupPathWithoutAll(const Source& source);

} // namespace rig
