#include "support/ReportGenerator.h"

#include "base/Number.h"
#include "support/TestPDF.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <set>
#include <stdexcept>
#include <utility>

namespace rig::test {

namespace {

// splitmix64: the same sequence on every platform and library.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
    // A value in [lo, hi] on a grid of 1/100.
    double hundredths(double lo, double hi) {
        const int steps = static_cast<int>(std::lround((hi - lo) * 100));
        return lo + below(steps + 1) / 100.0;
    }
    template <class T>
    const T& pick(const std::vector<T>& v) {
        return v[static_cast<std::size_t>(below(static_cast<int>(v.size())))];
    }

private:
    std::uint64_t s_;
};

std::string fixed(double v, int decimals) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) throw std::runtime_error("number does not fit");
    return std::string(buf, r.ptr);
}

std::string itos(long long v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

double readBack(const std::string& text) {
    auto v = parseDecimal(text);
    if (!v) throw std::logic_error("generator wrote an unreadable number: " + text);
    return *v;
}

struct Seg {
    double x;
    std::string text;
};

struct Cell {
    double x;
    double w;
    std::string text; // empty: the rectangle only
};

struct Row {
    bool table = false;
    std::vector<Seg> segs;
    std::vector<Cell> cells;
    double height = 14;
};

enum class CellStyle { before, after, negative };

struct Block {
    std::vector<Row> rows;
    bool keepTogether = true;
    CellStyle cellStyle = CellStyle::before;
};

struct Column {
    double x;
    double w;
    const char* name;
};
const std::vector<Column> kColumns = {
    {40, 30, "#"},          {70, 80, "Type"},          {150, 60, "Angle (°)"}, {210, 55, "Site (°)"},
    {265, 65, "Top Z (m)"}, {330, 75, "Bottom Z (m)"}, {405, 60, "Panflex"},
};

constexpr double kLeft = 40;
constexpr double kValueX = 260;
constexpr double kTop = 790;
constexpr double kBottom = 50;

class Generator {
public:
    explicit Generator(const ReportGeneratorOptions& o) : o_(o), rng_(o.seed) {}

    GeneratedReport run() {
        Report& r = out_.expected;
        r.info.version = "3.7.1";
        r.info.date = "2026-11-28 14:02";
        r.info.fileName = o_.fileName;
        r.info.distanceUnit = "m";
        r.info.weightUnit = "kg";
        {
            Block b;
            b.rows.push_back(text("Soundvision Report"));
            b.rows.push_back(labelled("Version:", r.info.version));
            b.rows.push_back(labelled("Date:", r.info.date));
            b.rows.push_back(labelled("File name:", r.info.fileName));
            b.rows.push_back(labelled("Distance unit:", r.info.distanceUnit));
            b.rows.push_back(labelled("Weight unit:", r.info.weightUnit));
            blocks_.push_back(std::move(b));
        }

        if (o_.sourceList.empty()) {
            randomSources();
        } else {
            listedSources();
        }
        {
            Block b;
            b.rows.push_back(text("End of report"));
            blocks_.push_back(std::move(b));
        }
        render();
        return std::move(out_);
    }

private:
    // --- Content -----------------------------------------------------------------------

    Row text(std::string t, double x = kLeft) {
        Row r;
        r.segs.push_back(Seg{x, std::move(t)});
        return r;
    }

    // A label and its value, either as one string or as two strings on one line.
    Row labelled(const std::string& label, const std::string& value) {
        if (rng_.chance(35)) {
            Row r;
            r.segs.push_back(Seg{kLeft, label});
            r.segs.push_back(Seg{kValueX, " " + value});
            return r;
        }
        return text(label + " " + value);
    }

    void randomSources() {
        // Heading numbers count siblings: "1." nests under the group above, "n." follows the
        // group numbered n - 1 at its level. These paths never let a deeper group carry the
        // number that the next sibling looks for.
        const std::vector<std::vector<std::string>> paths = {
            {"ALL", "Main", "Left"},           {"ALL", "Main", "Right"}, {"ALL", "Subs"},
            {"ALL", "Fills", "Front ↔ fills"}, {"ALL", "Delays"},
        };
        std::vector<std::string> current;
        std::vector<std::size_t> nodes = {0}; // root, then one node per open heading
        std::vector<int> children = {0};      // headings emitted under each node
        int pathIndex = -1;
        int leftInPath = 0;
        for (int i = 0; i < o_.sources; ++i) {
            if (!(i == 0 && o_.ungroupedSource)) {
                if (leftInPath == 0) {
                    pathIndex = (pathIndex + 1) % static_cast<int>(paths.size());
                    const auto& next = paths[static_cast<std::size_t>(pathIndex)];
                    std::size_t same = 0;
                    // The first path element repeats ("ALL" stays open); below it a group
                    // that comes back is a new heading.
                    if (!current.empty() && current[0] == next[0]) same = 1;
                    if (current.size() > 1 && next.size() > 1 && current[1] == next[1]) same = 2;
                    nodes.resize(same + 1);
                    Block b;
                    b.keepTogether = true;
                    for (std::size_t d = same; d < next.size(); ++d) {
                        const int number = ++children[nodes.back()];
                        b.rows.push_back(text(itos(number) + ". Group: " + next[d]));
                        nodes.push_back(children.size());
                        children.push_back(0);
                    }
                    blocks_.push_back(std::move(b));
                    current = next;
                    leftInPath = 1 + rng_.below(4);
                }
                --leftInPath;
            }
            source(i + 1, current);
        }
    }

    // Headings for each change of group path: "1." opens a group inside the one above, "n."
    // follows its sibling numbered n - 1.
    void listedSources() {
        std::vector<std::string> current;
        std::vector<int> siblings = {0}; // headings so far under each open level
        int number = 0;
        for (const SourcePlan& plan : o_.sourceList) {
            std::size_t same = 0;
            while (same < current.size() && same < plan.groups.size() && current[same] == plan.groups[same])
                ++same;
            if (same < current.size() || same < plan.groups.size()) {
                siblings.resize(same + 1);
                Block b;
                for (std::size_t d = same; d < plan.groups.size(); ++d) {
                    b.rows.push_back(text(itos(++siblings.back()) + ". Group: " + plan.groups[d]));
                    siblings.push_back(0);
                }
                if (!b.rows.empty()) blocks_.push_back(std::move(b));
                current = plan.groups;
            }
            listedSource(++number, plan);
        }
    }

    void listedSource(int number, const SourcePlan& plan) {
        Source s(plan.name, List<std::string>(plan.groups));
        s.configuration = plan.configuration;
        const bool flown = s.isFlown();
        const double pi = 3.141592653589793;

        Block head;
        head.rows.push_back(text(itos(number) + ". Source: " + s.name));
        head.rows.push_back(labelled("Configuration:", s.configuration));
        if (!plan.bumper.empty()) {
            s.bumper = plan.bumper;
            head.rows.push_back(labelled("Bumper:", plan.bumper));
        }
        if (flown) {
            s.motorCount = 2;
            head.rows.push_back(labelled("# motors:", "2"));
        }
        blocks_.push_back(std::move(head));

        // The cabinets, top to bottom: flown ones curve down from the bumper, others stack up.
        const int count = std::max(plan.enclosures, 1);
        std::vector<double> angles(std::size_t(count), 0.0);
        double site = flown ? -1.5 : 0.0;
        double top = flown ? plan.position.z - 0.15 : plan.position.z + plan.cabinetHeight * count;
        Block table;
        table.keepTogether = false;
        for (int i = 0; i < count; ++i) {
            Enclosure e;
            e.index = i + 1;
            e.type = plan.enclosureType;
            if (flown) {
                // A J: straight at the top for the far seats, opening towards the bottom.
                static constexpr double profile[] = {0, 0, 0.5, 0.5, 1, 1.5, 2, 3, 4, 5, 7, 10};
                constexpr int size = int(std::size(profile));
                const double angle = i == 0 ? 0.0 : profile[std::clamp(size - count + i, 0, size - 1)];
                e.angle = readBack(fixed(angle, 2));
                site -= *e.angle;
            }
            e.site = readBack(fixed(site, 2));
            const double drop = flown ? plan.cabinetHeight * std::cos(site * pi / 180) : plan.cabinetHeight;
            e.topZ = readBack(fixed(top, 2));
            e.bottomZ = readBack(fixed(top - drop, 2));
            top -= drop;
            if (!plan.panflex.empty()) e.panflex = plan.panflex;
            s.enclosures.push_back(std::move(e));
        }
        s.hasAngles = flown;

        const double enclosureWeight = plan.cabinetWeight * count;
        const double total = enclosureWeight + (flown ? plan.frameWeight : 0.0);
        const double a = plan.azimuth * pi / 180;
        const XYZ forward(std::sin(a), std::cos(a), 0);

        Block body;
        body.keepTogether = false;
        if (flown) {
            // Front and Rear on the bumper, the centre of gravity a little towards the front.
            const std::string front = fixed(total * 0.58, 1);
            const double rest = total - readBack(front);
            const struct {
                const char* role;
                const char* hole;
                double along;
                std::string load;
            } points[] = {{"Front", "#5", 0.25, front}, {"Rear", "#17", -0.35, fixed(rest, 1)}};
            for (const auto& point : points) {
                Pickup p;
                p.role = point.role;
                p.hole = point.hole;
                const std::string xs = fixed(plan.position.x + forward.x * point.along, 2);
                const std::string ys = fixed(plan.position.y + forward.y * point.along, 2);
                const std::string zs = fixed(plan.position.z, 2);
                p.position = XYZ(readBack(xs), readBack(ys), readBack(zs));
                p.load = readBack(point.load);
                body.rows.push_back(labelled(p.role + " pickup position (X; Y; Z, m):",
                                             p.hole + " (" + xs + "; " + ys + "; " + zs + ")"));
                s.pickups.push_back(std::move(p));
            }
            for (std::size_t i = 0; i < s.pickups.size(); ++i) {
                Pickup& p = s.pickups.mut(i);
                if (i >= plan.loadTexts.size()) {
                    body.rows.push_back(labelled(p.role + " motor load:", fixed(*p.load, 1) + " kg"));
                    continue;
                }
                const std::string& shown = plan.loadTexts[i];
                if (shown.empty()) {
                    p.load.reset();
                    continue;
                }
                body.rows.push_back(labelled(p.role + " motor load:", shown));
                // The parser reads the sign, digits and points that follow the label.
                const std::size_t end = shown.find_first_not_of("-0123456789.");
                p.load = parseDecimal(shown.substr(0, end)).value_or(std::nan(""));
            }
        }
        auto triple = [&](const std::string& label, const XYZ& v) {
            const std::string x = fixed(v.x, 2), y = fixed(v.y, 2), z = fixed(v.z, 2);
            body.rows.push_back(labelled(label + " (X; Y; Z, m):", x + "; " + y + "; " + z));
            return XYZ(readBack(x), readBack(y), readBack(z));
        };
        s.position = triple("Position", plan.position);
        const double bottom = s.enclosures.back().bottomZ.value_or(0);
        const double highest = flown ? plan.position.z : plan.position.z + plan.cabinetHeight * count;
        const double height = highest - bottom;
        s.dimensions = triple("Spatial dimensions", XYZ(1.35, flown ? 1.2 : 1.0, height));
        auto numberLine = [&](const std::string& label, std::optional<double>& field, double value,
                              const std::string& unit, int decimals) {
            const std::string v = fixed(value, decimals);
            body.rows.push_back(labelled(label, v + unit));
            field = readBack(v);
        };
        numberLine("Site:", s.site, *s.enclosures[0].site, " °", 2);
        numberLine("Top site:", s.topSite, *s.enclosures[0].site, " °", 2);
        numberLine("Bottom site:", s.bottomSite, *s.enclosures.back().site, " °", 2);
        numberLine("Azimuth:", s.azimuth, plan.azimuth, " °", 2);
        numberLine("Bottom elevation:", s.bottomElevation, bottom, " m", 2);
        numberLine("Total weight (Enclosures + Frames):", s.totalWeight, total, " kg", 1);
        numberLine("Total enclosure weight:", s.enclosureWeight, enclosureWeight, " kg", 1);
        numberLine("Delay:", s.delay, plan.delay, " ms", 2);
        numberLine("Gain:", s.gain, plan.gain, " dB", 2);
        blocks_.push_back(std::move(body));

        Row title;
        title.table = true;
        title.cells.push_back(Cell{kLeft, 120, "Enclosures"});
        title.height = 20;
        table.rows.push_back(title);
        std::vector<Column> columns;
        for (const Column& c : kColumns) {
            const std::string_view name = c.name;
            if (!flown && name.starts_with("Angle")) continue;
            if (plan.panflex.empty() && name == "Panflex") continue;
            columns.push_back(c);
        }
        Row header;
        header.table = true;
        header.height = 18;
        for (const Column& c : columns) header.cells.push_back(Cell{c.x, c.w, c.name});
        table.rows.push_back(header);
        for (const Enclosure& e : s.enclosures) {
            Row row;
            row.table = true;
            row.height = 16;
            for (const Column& c : columns) {
                const std::string_view name = c.name;
                std::string v;
                if (name == "#") {
                    v = "#" + itos(e.index);
                } else if (name == "Type") {
                    v = e.type;
                } else if (name.starts_with("Angle")) {
                    v = fixed(*e.angle, 2);
                } else if (name.starts_with("Site")) {
                    v = fixed(*e.site, 2);
                } else if (name.starts_with("Top Z")) {
                    v = fixed(*e.topZ, 2);
                } else if (name.starts_with("Bottom Z")) {
                    v = fixed(*e.bottomZ, 2);
                } else if (name == "Panflex") {
                    v = *e.panflex;
                }
                row.cells.push_back(Cell{c.x, c.w, v});
            }
            table.rows.push_back(std::move(row));
        }
        blocks_.push_back(std::move(table));
        out_.expected.sources.push_back(std::move(s));
    }

    void source(int number, const std::vector<std::string>& groups) {
        static const std::vector<std::string> names = {"Main L",  "Sub Côté",  "Front fill",   "Délai ↔ tour",
                                                       "Out → 3", "Stage Œil", "KARA «centre»"};
        Source s(rng_.pick(names) + " " + itos(number), List<std::string>(groups));

        Block head;
        head.rows.push_back(
            rng_.chance(30)
                ? Row{false, {Seg{kLeft, itos(number) + ". Source:"}, Seg{kLeft + 70, " " + s.name}}, {}, 14}
                : text(itos(number) + ". Source: " + s.name));

        static const std::vector<std::string> configs = {"Flown", "flown array", "Ground stacked",
                                                         "flown (pullback)", ""};
        s.configuration = rng_.pick(configs);
        head.rows.push_back(labelled("Configuration:", s.configuration));
        const bool flown = s.configuration.find("flown") != std::string::npos;

        if (rng_.chance(80)) {
            s.bumper = rng_.chance(90)
                           ? rng_.pick(std::vector<std::string>{"K2-BUMP", "KARA-MINIBU", "KS28-BUMP"})
                           : std::string();
            head.rows.push_back(labelled("Bumper:", *s.bumper));
        }
        if (rng_.chance(85)) {
            const bool odd = rng_.chance(15);
            const int motors = 1 + rng_.below(3);
            head.rows.push_back(labelled("# motors:", odd ? itos(motors) + " (1+1)" : itos(motors)));
            if (!odd) s.motorCount = motors;
        }
        blocks_.push_back(std::move(head));

        Block body;
        std::vector<std::string> roles = {"Front", "Rear"};
        if (rng_.chance(30)) roles.push_back("Pullback");
        for (const std::string& role : roles) {
            Pickup p;
            p.role = role;
            p.hole = rng_.pick(std::vector<std::string>{"A3", "B12", "#7", "C"});
            std::string xs = fixed(rng_.hundredths(-20, 20), 2);
            std::string ys = fixed(rng_.hundredths(-20, 20), 2);
            std::string zs = fixed(rng_.hundredths(3, 25), 2);
            p.position = XYZ(readBack(xs), readBack(ys), readBack(zs));
            const std::string format = rng_.chance(50) ? "(X; Y; Z, m):" : "(X;Y;Z, m):";
            body.rows.push_back(labelled(role + " pickup position " + format,
                                         p.hole + " (" + xs + "; " + ys + "; " + zs + ")"));
            s.pickups.push_back(std::move(p));
        }
        for (std::size_t i = 0; i < s.pickups.size(); ++i) {
            if (rng_.chance(20)) continue; // a point without load line keeps no load
            std::string load = fixed(rng_.hundredths(0, 1500), rng_.chance(50) ? 1 : 0);
            body.rows.push_back(labelled(s.pickups[i].role + " motor load:", load + " kg"));
            s.pickups.mut(i).load = readBack(load);
        }
        auto triple = [&](const std::string& label, double lo, double hi) {
            std::string a = fixed(rng_.hundredths(lo, hi), 2);
            std::string b = fixed(rng_.hundredths(lo, hi), 2);
            std::string c = fixed(rng_.hundredths(lo, hi), 2);
            body.rows.push_back(labelled(label + " (X; Y; Z, m):", a + "; " + b + "; " + c));
            return XYZ(readBack(a), readBack(b), readBack(c));
        };
        if (rng_.chance(90)) s.position = triple("Position", -30, 30);
        if (rng_.chance(80)) s.dimensions = triple("Spatial dimensions", 0, 6);

        auto labelledNumber = [&](const std::string& label, std::optional<double>& field, double lo,
                                  double hi, const std::string& unit) {
            if (!rng_.chance(85)) return;
            std::string v = fixed(rng_.hundredths(lo, hi), 2);
            double value = readBack(v);
            if (v.starts_with("-") && rng_.chance(30)) v = "- " + v.substr(1); // "- 12.5" reads as -12.5
            body.rows.push_back(labelled(label, v + unit));
            field = value;
        };
        labelledNumber("Site:", s.site, -20, 20, " °");
        labelledNumber("Top site:", s.topSite, -20, 20, " °");
        labelledNumber("Bottom site:", s.bottomSite, -40, 10, " °");
        labelledNumber("Azimuth:", s.azimuth, -180, 180, " °");
        labelledNumber("Bottom elevation:", s.bottomElevation, 0, 20, " m");
        labelledNumber("Total weight (Enclosures + Frames):", s.totalWeight, 50, 2500, " kg");
        labelledNumber("Total enclosure weight:", s.enclosureWeight, 40, 2000, " kg");
        labelledNumber("Delay:", s.delay, 0, 80, " ms");
        labelledNumber("Gain:", s.gain, -12, 6, " dB");
        body.keepTogether = false;
        blocks_.push_back(std::move(body));

        table(s, flown);
        warnings(s);
        out_.expected.sources.push_back(std::move(s));
    }

    void table(Source& s, bool flown) {
        Block b;
        b.keepTogether = false;
        b.cellStyle = static_cast<CellStyle>(rng_.below(3));
        // A boxed title: a line with a cell that is neither header nor row.
        Row title;
        title.table = true;
        title.cells.push_back(Cell{kLeft, 120, "Enclosures"});
        title.height = 20;
        b.rows.push_back(title);

        std::vector<Column> columns;
        for (const Column& c : kColumns) {
            if (!flown && std::string_view(c.name).starts_with("Angle")) continue;
            columns.push_back(c);
        }
        Row header;
        header.table = true;
        header.height = 18;
        for (const Column& c : columns) header.cells.push_back(Cell{c.x, c.w, c.name});
        b.rows.push_back(header);
        s.hasAngles = flown;

        const int rows = 1 + rng_.below(7);
        const std::string type = rng_.pick(std::vector<std::string>{"K2", "KARA II", "KS28", "A15 Wide"});
        for (int i = 1; i <= rows; ++i) {
            Enclosure e;
            e.index = i;
            Row row;
            row.table = true;
            row.height = 16;
            for (const Column& c : columns) {
                const std::string name = c.name;
                std::string v;
                const bool blank = name != "#" && rng_.chance(8);
                if (name == "#") {
                    v = "#" + itos(i);
                } else if (blank) {
                    v = "";
                } else if (name == "Type") {
                    v = type;
                    e.type = v;
                } else if (name.starts_with("Angle")) {
                    v = fixed(rng_.hundredths(0, 10), 2);
                    e.angle = readBack(v);
                } else if (name.starts_with("Site")) {
                    v = fixed(rng_.hundredths(-30, 10), 2);
                    e.site = readBack(v);
                } else if (name.starts_with("Top Z")) {
                    v = fixed(rng_.hundredths(2, 20), 2);
                    e.topZ = readBack(v);
                } else if (name.starts_with("Bottom Z")) {
                    v = fixed(rng_.hundredths(1, 19), 2);
                    e.bottomZ = readBack(v);
                } else if (name == "Panflex") {
                    v = rng_.pick(std::vector<std::string>{"110/70", "90/90", "70/110"});
                    e.panflex = v;
                }
                row.cells.push_back(Cell{c.x, c.w, v});
            }
            b.rows.push_back(std::move(row));
            s.enclosures.push_back(std::move(e));
        }
        blocks_.push_back(std::move(b));
    }

    void warnings(Source& s) {
        if (!rng_.chance(50)) return;
        using L = ReportWarning::Level;
        struct Template {
            std::vector<std::string> lines;
            std::vector<ReportWarning> result;
        };
        const std::vector<Template> templates = {
            {{"  WARNING", "  Load on the front pickup exceeds the limit", "  of the bumper"},
             {{L::warning, "Load on the front pickup exceeds the limit. of the bumper"}}},
            {{"  CAUTION", "  Check the angle between enclosures 3 and 4."},
             {{L::caution, "Check the angle between enclosures 3 and 4."}}},
            {{"  WARNING", "  Configuration impossible with this bumper."},
             {{L::error, "Configuration impossible with this bumper."}}},
            {{"  Danger", "  Front motor overloaded."}, {{L::error, "Front motor overloaded."}}},
            {{"  Caution", "  Rigging at this site is", "  IMPOSSIBLE for the pullback."},
             {{L::error, "Rigging at this site is. IMPOSSIBLE for the pullback."}}},
            {{"  Caution", "  Two limits reached.", "  Check the rear point."},
             {{L::caution, "Two limits reached. Check the rear point."}}},
        };
        Block b;
        b.rows.push_back(text("Mechanical warnings:"));
        std::vector<ReportWarning> all;
        // Without a level word first, the first text takes the level "warning".
        if (rng_.chance(30)) {
            b.rows.push_back(text("  Bumper angle out of range"));
            all.push_back({L::warning, "Bumper angle out of range"});
        }
        const int count = 1 + rng_.below(3);
        for (int i = 0; i < count; ++i) {
            const Template& t = rng_.pick(templates);
            for (const std::string& line : t.lines) b.rows.push_back(text(line));
            all.insert(all.end(), t.result.begin(), t.result.end());
        }
        // A non-indented line always follows, so equal warnings collapse to the first.
        std::set<std::pair<int, std::string>> seen;
        for (ReportWarning& w : all) {
            if (seen.insert({static_cast<int>(w.level), w.text}).second) s.warnings.push_back(std::move(w));
        }
        blocks_.push_back(std::move(b));
    }

    // --- Pages -------------------------------------------------------------------------

    struct Placed {
        const Row* row;
        double baseline;
        CellStyle style;
    };

    void render() {
        std::vector<std::vector<Placed>> pages(1);
        double y = kTop;
        auto newPage = [&] {
            pages.emplace_back();
            y = kTop;
        };
        for (const Block& b : blocks_) {
            double h = 0;
            for (const Row& r : b.rows) h += r.height;
            if (b.keepTogether && y - h < kBottom && y != kTop) newPage();
            for (const Row& r : b.rows) {
                if (y - r.height < kBottom) newPage();
                pages.back().push_back(Placed{&r, y - r.height + 4, b.cellStyle});
                y -= r.height;
            }
        }
        out_.pages = static_cast<int>(pages.size());

        TestPDF pdf;
        pdf.compress(o_.compress);
        for (std::size_t p = 0; p < pages.size(); ++p) {
            std::string content = page(pages[p], static_cast<int>(p + 1), out_.pages);
            out_.pageContents.push_back(content);
            std::vector<TestStream> streams;
            if (o_.multipleStreams && rng_.chance(40)) {
                // Split at operator lines, which are token boundaries.
                std::size_t cut = content.find('\n', content.size() / 2);
                if (cut != std::string::npos && cut + 1 < content.size()) {
                    streams.push_back(TestStream{content.substr(0, cut + 1), {}});
                    streams.push_back(TestStream{content.substr(cut + 1), {}});
                }
            }
            if (streams.empty()) streams.push_back(TestStream{content, {}});
            pdf.addPage(std::move(streams));
        }
        out_.pdf = pdf.bytes();
    }

    // Text state of the page being written, mirrored to choose valid operators.
    struct Pen {
        bool inBT = false;
        double x = 0;
        double y = 0;
        double leading = 0;
        double matrixScale = 1;
    };

    Enc encodingFor(const std::string& t) {
        const bool doc = Content::encodable(t, Enc::pdfDoc);
        const bool u16 = Content::encodable(t, Enc::utf16);
        if (doc && (!u16 || rng_.chance(75))) return Enc::pdfDoc;
        if (u16) return Enc::utf16;
        throw std::logic_error("generator text cannot be encoded: " + t);
    }

    void show(Content& c, Pen& pen, double x, double y, const std::string& t) {
        if (!pen.inBT) {
            c.bt().font(9);
            pen = Pen{true, 0, 0, pen.leading, 1};
        }
        const Enc enc = encodingFor(t);
        const bool down = pen.leading != 0 && x == pen.x && pen.y - pen.leading == y;
        const int m = rng_.below(6);
        if (down && m == 0) {
            c.tStar();
        } else if (down && m == 1) {
            pen.y = y;
            c.quote(t, enc);
            return;
        } else if (x == pen.x && y < pen.y && m == 2) {
            c.tl(pen.y - y).tStar();
            pen.leading = pen.y - y;
        } else if (m == 3) {
            c.td(x - pen.x, y - pen.y);
        } else if (m == 4) {
            c.tD(x - pen.x, y - pen.y);
            pen.leading = -(y - pen.y);
        } else {
            // The matrix scale is not applied to the origin; the font size makes up for it.
            const double scale = rng_.chance(50) ? 1 : 9;
            if (scale != pen.matrixScale) c.font(9 / scale);
            pen.matrixScale = scale;
            c.tm(scale, 0, 0, scale, x, y);
        }
        pen.x = x;
        pen.y = y;

        if (rng_.chance(20)) {
            // Split in pieces with kerning between them; each piece is encoded alone.
            std::vector<Content::TJPart> parts;
            std::size_t cut = t.size() / 2;
            while (cut > 0 && (static_cast<unsigned char>(t[cut]) & 0xC0) == 0x80) --cut;
            const std::string a = t.substr(0, cut), b = t.substr(cut);
            if (!a.empty() && Content::encodable(a, enc) && Content::encodable(b, enc)) {
                parts = {a, -120.0, b};
                if (rng_.chance(30)) parts.insert(parts.begin(), 15.5);
                c.tjArray(parts, enc);
                return;
            }
        }
        c.tj(t, enc);
        if (rng_.chance(5)) c.tj("", Enc::pdfDoc); // empty strings never reach a line
    }

    void endText(Content& c, Pen& pen) {
        if (pen.inBT) c.et();
        pen.inBT = false;
    }

    void cellRects(Content& c, const Row& row, double baseline, CellStyle style) {
        for (const Cell& cell : row.cells) {
            const double y0 = baseline - 4;
            const double h = row.height;
            if (style == CellStyle::negative)
                c.re(cell.x + cell.w, y0 + h, -cell.w, -h);
            else
                c.re(cell.x, y0, cell.w, h);
        }
        // The row's frame is too wide to be a cell.
        c.re(kLeft, baseline - 4, 425, row.height);
        c.stroke();
    }

    std::string page(const std::vector<Placed>& rows, int number, int total) {
        Content c;
        Pen pen;
        Content after; // rectangles drawn after the text
        const bool frameFirst = rng_.chance(50);
        if (frameFirst) c.re(20, 20, 555, 802).stroke();

        show(c, pen, kLeft, 812, "Soundvision Report – " + out_.expected.info.fileName);
        for (const Placed& p : rows) {
            if (!p.row->table) {
                for (const Seg& s : p.row->segs) show(c, pen, s.x, p.baseline, s.text);
                if (rng_.chance(10)) endText(c, pen);
                continue;
            }
            if (p.style != CellStyle::after) {
                endText(c, pen);
                cellRects(c, *p.row, p.baseline, p.style);
            } else {
                cellRects(after, *p.row, p.baseline, CellStyle::before);
            }
            for (const Cell& cell : p.row->cells) {
                if (!cell.text.empty()) show(c, pen, cell.x + 3, p.baseline, cell.text);
            }
        }
        if (rng_.chance(50)) {
            show(c, pen, 480, 28, "Page " + itos(number));
            show(c, pen, 515, 28, " of " + itos(total));
        } else {
            show(c, pen, 480, 28, "Page " + itos(number) + " of " + itos(total));
        }
        endText(c, pen);
        c.raw(after.str());
        if (!frameFirst) c.re(20, 20, 555, 802).stroke();
        return c.str();
    }

    ReportGeneratorOptions o_;
    Rng rng_;
    std::vector<Block> blocks_;
    GeneratedReport out_;
};

} // namespace

GeneratedReport generateReport(const ReportGeneratorOptions& options) {
    return Generator(options).run();
}

} // namespace rig::test
