#include "import/ReportParser.h"

#include "import/detail/ReportParserDetail.h"

#include "base/File.h"
#include "base/Number.h"
#include "base/Regex.h"
#include "base/Text.h"
#include "model/RigError.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace rig::ReportParser {

namespace {

// Strings whose baselines lie this close (PDF units, a fraction of the text height) are
// pieces of one printed line.
constexpr double kLineTolerance = 1.0;

// Reading order. Not a strict weak ordering when y values chain across the tolerance, so it
// only ever goes to the merge sort below.
bool readsBefore(const PDFTextItem& a, const PDFTextItem& b) {
    if (a.page != b.page) return a.page < b.page;
    if (std::fabs(a.y - b.y) > kLineTolerance) return a.y > b.y;
    return a.x < b.x;
}

// Stable bottom-up merge sort of indices. Every access is bounded by the run limits alone,
// whatever the comparison answers, so an inconsistent comparison can only change the order.
template <class Before>
void stableMergeSort(std::vector<std::size_t>& v, Before before) {
    const std::size_t n = v.size();
    std::vector<std::size_t> buf(n);
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, n);
            const std::size_t hi = std::min(lo + 2 * width, n);
            std::size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) buf[k++] = before(v[j], v[i]) ? v[j++] : v[i++];
            while (i < mid) buf[k++] = v[i++];
            while (j < hi) buf[k++] = v[j++];
        }
        v.swap(buf);
    }
}

// The rest of `text` after `label` (canonical prefix match), untrimmed; none when `text`
// does not begin with it. Labels are ASCII, so plain bytes decide unless a non-ASCII
// character sits where the label ends or differs.
std::optional<std::string> restAfter(std::string_view text, std::string_view label) {
    std::size_t k = 0;
    while (k < label.size() && k < text.size() && text[k] == label[k]) ++k;
    const bool asciiAt = k >= text.size() || static_cast<unsigned char>(text[k]) < 0x80;
    if (k == label.size() && asciiAt) return std::string(text.substr(k));
    if (asciiAt) return std::nullopt;
    return dropPrefix(text, label);
}

std::optional<std::string> valueAfter(std::string_view text, std::string_view label) {
    auto rest = restAfter(text, label);
    if (!rest) return std::nullopt;
    return trimWhite(*rest);
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

struct GroupEntry {
    std::int64_t number;
    std::string name;
};

class Parse {
public:
    explicit Parse(const std::stop_token& stop, std::vector<PDFText::PageLoss> losses = {})
        : stop_(stop), losses_(std::move(losses)), marked_(losses_.size()) {}

    Report run(const std::vector<PDFTextItem>& items) {
        const std::vector<detail::Line> lines = detail::lines(items);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i % 1024 == 0) throwIfCancelled(stop_);
            reachPage(lines[i].items.front().page);
            handle(lines[i]);
        }
        reachPage(std::numeric_limits<std::int64_t>::max());
        closeSource();
        Report report;
        report.info = info_;
        report.sources = List<Source>(std::move(sources_));
        return report;
    }

    // The sources that each lost page marked, by their place in the report.
    const std::vector<std::vector<std::size_t>>& marked() const { return marked_; }

private:
    // Pages lost before `page` mark the source read across them: the one open then, or, when
    // none is, the next one (the headings above it may be lost). A page read with damage
    // marks every source read on it.
    void reachPage(std::int64_t page) {
        for (; nextLoss_ < losses_.size() && losses_[nextLoss_].page <= page; ++nextLoss_) {
            const PDFText::PageLoss& loss = losses_[nextLoss_];
            if (open_) {
                mark(nextLoss_);
            } else if (loss.skipped) {
                pendingMark_ = nextLoss_;
            }
            if (!loss.skipped && loss.page == page) damagedPage_ = nextLoss_;
        }
        if (damagedPage_ && losses_[*damagedPage_].page != page) damagedPage_.reset();
    }

    void mark(std::size_t loss) {
        open_->possiblyIncomplete = true;
        std::vector<std::size_t>& sources = marked_[loss];
        if (sources.empty() || sources.back() != sources_.size()) sources.push_back(sources_.size());
    }

    // The line checks in their order; the first that takes the line ends its processing.
    void handle(const detail::Line& line) {
        if (open_ && tableLine(line)) return;
        const std::string r = line.text();
        if (inWarnings_ && warningsSection(r)) return;
        const std::string t = trimWhite(r);
        if (groupHeading(t) || sourceHeading(t)) return;
        if (open_) {
            sourceLine(t, *open_);
        } else {
            headerLine(t);
        }
    }

    // An enclosure-table line: one with a cell, of an open source.
    bool tableLine(const detail::Line& line) {
        std::vector<PDFTextItem> cells;
        for (const PDFTextItem& item : line.items) {
            if (item.cell) cells.push_back(item);
        }
        if (cells.empty()) return false;
        inWarnings_ = false;
        detail::tableLine(cells, columns_, *open_);
        return true;
    }

    // Indented lines stay in the warnings section; any other line ends it and goes on.
    bool warningsSection(const std::string& r) {
        if (r.starts_with("  ")) {
            warningLine(trimWhite(r));
            return true;
        }
        inWarnings_ = false;
        if (open_) removeDuplicateWarnings(*open_);
        return false;
    }

    // A name is everything after its label but the blanks around it: the PDF string may hold
    // line breaks (U+2028 and the like), which "." takes too under (?s).
    bool groupHeading(const std::string& t) {
        if (!contains(t, "Group:")) return false;
        auto m = firstMatch(R"((?s)^(\d+)\.\s*Group:[\t\p{Zs}]*(.+)$)", t);
        if (!m) return false;
        closeSource();
        pushGroup(parseInteger((*m)[1]).value_or(1), (*m)[2]);
        columns_.clear();
        inWarnings_ = false;
        return true;
    }

    bool sourceHeading(const std::string& t) {
        if (!contains(t, "Source:")) return false;
        auto m = firstMatch(R"((?s)^\d+\.\s*Source:[\t\p{Zs}]*(.+)$)", t);
        if (!m) return false;
        closeSource();
        open_.emplace((*m)[1], groupNames());
        if (pendingMark_) mark(*pendingMark_);
        if (damagedPage_) mark(*damagedPage_);
        pendingMark_.reset();
        pickupByRole_.clear();
        columns_.clear();
        inWarnings_ = false;
        return true;
    }

    // The report header, read outside sources; a later line for a field overwrites it.
    void headerLine(const std::string& t) {
        inWarnings_ = false;
        static constexpr std::pair<std::string_view, std::string ReportInfo::*> fields[] = {
            {"Version:", &ReportInfo::version},        {"Date:", &ReportInfo::date},
            {"File name:", &ReportInfo::fileName},     {"Distance unit:", &ReportInfo::distanceUnit},
            {"Weight unit:", &ReportInfo::weightUnit},
        };
        for (const auto& [label, field] : fields) {
            if (auto v = valueAfter(t, label)) {
                info_.*field = std::move(*v);
                return;
            }
        }
    }

    void sourceLine(const std::string& t, Source& s) {
        if (t == "Mechanical warnings:") {
            inWarnings_ = true;
            pendingLevel_ = ReportWarning::Level::warning;
            expectNewWarning_ = true;
            warningIndex_ = 0;
            return;
        }
        inWarnings_ = false;
        if (textField(t, s) || pickupLine(t, s)) return;
        if (auto p = detail::xyz("Position", t)) {
            s.position = *p;
        } else if (auto d = detail::xyz("Spatial dimensions", t)) {
            s.dimensions = *d;
        } else {
            labelledNumber(t, s);
        }
    }

    // Configuration, bumper and motor count.
    static bool textField(const std::string& t, Source& s) {
        if (auto v = valueAfter(t, "Configuration:")) {
            s.configuration = std::move(*v);
        } else if (auto v = valueAfter(t, "Bumper:")) {
            s.bumper = std::move(*v);
        } else if (auto v = valueAfter(t, "# motors:")) {
            s.motorCount = parseInteger(*v);
        } else {
            return false;
        }
        return true;
    }

    // A pickup position or a motor load.
    bool pickupLine(const std::string& t, Source& s) {
        if (contains(t, " pickup position (")) {
            static constexpr std::string_view pickup =
                R"((?s)^(.+?) pickup position \(X; ?Y; ?Z, \w+\):\s*(\S+)\s*\(([-\d.]+);\s*([-\d.]+);\s*([-\d.]+)\))";
            if (auto m = firstMatch(pickup, t)) {
                Pickup p;
                p.role = (*m)[1];
                p.hole = (*m)[2];
                p.position = XYZ(decimalOrNaN((*m)[3]), decimalOrNaN((*m)[4]), decimalOrNaN((*m)[5]));
                addPickup(s, std::move(p));
                return true;
            }
        }
        if (contains(t, " motor load:")) {
            if (auto m = firstMatch(R"((?s)^(.+?) motor load:\s*([-\d.]+))", t)) {
                motorLoad(s, (*m)[1], decimalOrNaN((*m)[2]));
                return true;
            }
        }
        return false;
    }

    // The first label that gives a number sets its field; "Top site:" and "Bottom site:"
    // come before "Site:", which they would otherwise never reach.
    static void labelledNumber(const std::string& t, Source& s) {
        static constexpr std::pair<std::string_view, std::optional<double> Source::*> numbers[] = {
            {"Top site:", &Source::topSite},
            {"Bottom site:", &Source::bottomSite},
            {"Site:", &Source::site},
            {"Azimuth:", &Source::azimuth},
            {"Bottom elevation:", &Source::bottomElevation},
            {"Total weight (Enclosures + Frames):", &Source::totalWeight},
            {"Total enclosure weight:", &Source::enclosureWeight},
            {"Delay:", &Source::delay},
            {"Gain:", &Source::gain},
        };
        for (const auto& [label, field] : numbers) {
            if (auto v = detail::number(label, t)) {
                s.*field = *v;
                return;
            }
        }
    }

    static double decimalOrNaN(const std::string& text) {
        return parseDecimal(text).value_or(std::numeric_limits<double>::quiet_NaN());
    }

    // Pickups are found by role through a table of first positions, so a source with many
    // points still takes linear time.
    void addPickup(Source& s, Pickup p) {
        pickupByRole_.emplace(nfc(p.role), s.pickups.size());
        s.pickups.push_back(std::move(p));
    }

    void motorLoad(Source& s, const std::string& role, double load) {
        auto found = pickupByRole_.find(nfc(role));
        if (found != pickupByRole_.end()) {
            s.pickups.mut(found->second).load = load;
            return;
        }
        Pickup p;
        p.role = role;
        const double nan = std::numeric_limits<double>::quiet_NaN();
        p.position = XYZ(nan, nan, nan);
        p.load = load;
        addPickup(s, std::move(p));
    }

    void warningLine(const std::string& t) {
        const std::string u = toUpper(t);
        if (u == "CAUTION" || u == "WARNING" || u == "DANGER" || u == "ERROR") {
            pendingLevel_ = u == "CAUTION"   ? ReportWarning::Level::caution
                            : u == "WARNING" ? ReportWarning::Level::warning
                                             : ReportWarning::Level::error;
            expectNewWarning_ = true;
            warningIndex_ = 0;
            return;
        }
        if (expectNewWarning_ || !open_ || warningIndex_ >= open_->warnings.size()) {
            if (open_) {
                open_->warnings.push_back(ReportWarning{pendingLevel_, t});
                warningIndex_ = open_->warnings.size() - 1;
            } else {
                warningIndex_ = 0;
            }
        } else {
            std::string& text = open_->warnings.mut(warningIndex_).text;
            text += text.ends_with('.') ? " " : ". ";
            text += t;
        }
        // The level words are English: fold case without the user's locale.
        if (open_ && containsIgnoringCase(t, "impossible"))
            open_->warnings.mut(warningIndex_).level = ReportWarning::Level::error;
        expectNewWarning_ = false;
    }

    static void removeDuplicateWarnings(Source& s) {
        if (s.warnings.size() < 2) return;
        // Keyed by level and canonical text, so equal warnings meet whatever their bytes.
        std::unordered_set<std::string> seen;
        std::vector<ReportWarning> kept;
        for (const ReportWarning& w : s.warnings) {
            std::string key(ReportWarning::levelText(w.level));
            key += '\n';
            key += nfc(w.text);
            if (seen.insert(std::move(key)).second) kept.push_back(w);
        }
        if (kept.size() != s.warnings.size()) s.warnings = List<ReportWarning>(std::move(kept));
    }

    void pushGroup(std::int64_t n, std::string name) {
        groupNamesValid_ = false;
        if (n != 1) {
            for (std::size_t i = groups_.size(); i-- > 0;) {
                // Headings carry digits only, so n >= 0 and n - 1 cannot overflow.
                if (groups_[i].number == n - 1) {
                    groups_.resize(i);
                    break;
                }
            }
        }
        groups_.push_back(GroupEntry{n, std::move(name)});
    }

    // The names of the group stack, built once per change so sources share the list.
    const List<std::string>& groupNames() {
        if (!groupNamesValid_) {
            std::vector<std::string> names;
            names.reserve(groups_.size());
            for (const GroupEntry& g : groups_) names.push_back(g.name);
            groupNames_ = List<std::string>(std::move(names));
            groupNamesValid_ = true;
        }
        return groupNames_;
    }

    void closeSource() {
        if (!open_) return;
        sources_.push_back(std::move(*open_));
        open_.reset();
    }

    const std::stop_token& stop_;
    std::vector<PDFText::PageLoss> losses_;
    std::vector<std::vector<std::size_t>> marked_;
    std::size_t nextLoss_ = 0;
    std::optional<std::size_t> pendingMark_; // a skipped page that found no source open
    std::optional<std::size_t> damagedPage_; // the page being read was read with damage
    ReportInfo info_;
    std::vector<Source> sources_;
    std::optional<Source> open_;
    std::unordered_map<std::string, std::size_t> pickupByRole_; // role (NFC) -> first pickup
    std::vector<GroupEntry> groups_;
    List<std::string> groupNames_;
    bool groupNamesValid_ = true;
    std::vector<detail::TableColumn> columns_;
    bool inWarnings_ = false;
    ReportWarning::Level pendingLevel_ = ReportWarning::Level::warning;
    bool expectNewWarning_ = true;
    std::size_t warningIndex_ = 0;
};

} // namespace

namespace detail {

std::string Line::text() const {
    std::string out;
    for (const PDFTextItem& item : items) out += item.text;
    return out;
}

std::vector<Line> lines(const std::vector<PDFTextItem>& items) {
    std::vector<std::size_t> order;
    order.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!items[i].text.empty()) order.push_back(i);
    }
    stableMergeSort(order, [&](std::size_t a, std::size_t b) { return readsBefore(items[a], items[b]); });

    std::vector<Line> lines;
    for (std::size_t i : order) {
        const PDFTextItem& item = items[i];
        if (!lines.empty()) {
            const PDFTextItem& last = lines.back().items.back();
            if (last.page == item.page && std::fabs(last.y - item.y) <= kLineTolerance) {
                lines.back().items.push_back(item);
                continue;
            }
        }
        lines.push_back(Line{{item}});
    }

    std::vector<Line> kept;
    kept.reserve(lines.size());
    for (Line& line : lines) {
        const std::string text = line.text();
        if (text.starts_with("Page ") && contains(text, " of ")) continue;
        kept.push_back(std::move(line));
    }
    return kept;
}

std::optional<double> number(std::string_view label, std::string_view line) {
    auto rest = valueAfter(line, label);
    if (!rest) return std::nullopt;
    auto m = firstMatch(R"(^(-?\s?[\d.]+))", *rest);
    if (!m) return std::nullopt;
    std::string digits;
    for (char c : (*m)[1]) {
        if (c != ' ') digits.push_back(c);
    }
    return parseDecimal(digits);
}

std::optional<XYZ> xyz(std::string_view label, std::string_view line) {
    if (!restAfter(line, label)) return std::nullopt;
    auto m = firstMatch(R"(\):\s*([-\d.]+);\s*([-\d.]+);\s*([-\d.]+))", line);
    if (!m) return std::nullopt;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return XYZ(parseDecimal((*m)[1]).value_or(nan), parseDecimal((*m)[2]).value_or(nan),
               parseDecimal((*m)[3]).value_or(nan));
}

} // namespace detail

Report parse(const std::vector<PDFTextItem>& items, std::stop_token stop) {
    return Parse(stop).run(items);
}

namespace {

// "\"A\", \"B\" and 3 more"
std::string sourceNames(const Report& report, const std::vector<std::size_t>& sources) {
    constexpr std::size_t kNamed = 3;
    std::string out;
    for (std::size_t i = 0; i < sources.size() && i < kNamed; ++i) {
        if (i > 0) out += i + 1 == sources.size() ? " and " : ", ";
        out += ImportNotes::quoted(report.sources[sources[i]].name);
    }
    if (sources.size() > kNamed)
        out += " and " + integerText(std::int64_t(sources.size() - kNamed)) + " more";
    return out;
}

void noteLosses(const PDFText::Document& document, const Report& report,
                const std::vector<std::vector<std::size_t>>& marked, ImportNotes& notes) {
    const std::string of = " of " + integerText(document.pages);
    for (std::size_t i = 0; i < document.losses.size(); ++i) {
        const PDFText::PageLoss& loss = document.losses[i];
        notes.addMade([&] {
            const std::string page = "page " + integerText(loss.page) + of;
            std::string note = loss.skipped ? "skipped " + page + ": " + loss.reason
                                            : page + " may be damaged: " + loss.reason;
            if (!marked[i].empty()) {
                note += "; " + sourceNames(report, marked[i]) + " may be incomplete.";
            } else {
                note += ".";
            }
            return note;
        });
    }
    if (document.pageListDamaged) {
        notes.add("the list of pages is damaged: pages may be missing anywhere, so every source may be "
                  "incomplete.");
    }
}

} // namespace

Report parse(const PDFText::Document& document, std::stop_token stop, ImportNotes* notes) {
    Parse parse(stop, document.losses);
    Report report = parse.run(document.items);
    if (document.pageListDamaged) {
        for (std::size_t i = 0; i < report.sources.size(); ++i)
            report.sources.mut(i).possiblyIncomplete = true;
    }
    if (notes) noteLosses(document, report, parse.marked(), *notes);
    return report;
}

Report parse(const std::filesystem::path& path, std::stop_token stop, ImportNotes* notes) {
    const PDFText::Document document = PDFText::read(path, stop);
    Report report = parse(document, stop, notes);
    if (report.sources.empty()) {
        // Nothing read where pages were lost: the file is damaged, not of another kind.
        if (!document.losses.empty() || document.pageListDamaged)
            throw RigError::unreadable(fileNameOf(path));
        throw RigError::notSoundvision(fileNameOf(path));
    }
    return report;
}

} // namespace rig::ReportParser
