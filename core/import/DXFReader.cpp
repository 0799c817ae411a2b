#include "import/DXFReader.h"

#include "base/File.h"
#include "base/Number.h"
#include "base/Regex.h"
#include "base/Text.h"
#include "import/detail/DXFReaderDetail.h"
#include "model/RigError.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <unordered_map>

namespace rig::DXFReader {

using detail::Codes;
using detail::Entity;
using detail::number;
using detail::value;

namespace {

bool plainEnd(unsigned char c) {
    return c < 0x80 && c != ' ' && c != '\t';
}

// The line without blanks and tabs at its ends, as a view into the same text.
std::string_view trimmed(std::string_view line) {
    if (line.empty()) return line;
    if (plainEnd(static_cast<unsigned char>(line.front())) &&
        plainEnd(static_cast<unsigned char>(line.back())))
        return line;
    const std::string t = trimWhite(line);
    if (t.empty()) return line.substr(0, 0);
    // Only white space is removed at the ends, so the rest is found where it starts.
    return line.substr(line.find(t), t.size());
}

// Block geometry, converted to numbers once when the entity is stored. Outline shapes and
// pickup markers are kept apart so that a spent budget of one never costs a scan of the other.
struct Shape {
    bool face;
    std::array<XYZ, 4> q;
};

struct Block {
    std::vector<Shape> outline;
    std::vector<std::array<XYZ, 2>> pickupLines;
};

struct Insert {
    std::optional<std::string> name;
    XYZ at;
    double rotation = 0;
};

XYZ point(const Codes& codes, std::int64_t xCode) {
    return XYZ(number(xCode, codes), number(xCode + 10, codes), number(xCode + 20, codes));
}

// Pickup midpoints closer than 2 mm to an earlier one are dropped. A grid of 4 mm cells
// keeps this linear however many markers a block holds.
class PickupSet {
public:
    explicit PickupSet(std::vector<XYZ>& out) : out_(out) {}

    void add(const XYZ& m) {
        if (!m.isFinite()) {
            // Its distance to anything is not a number or infinite: never a duplicate.
            out_.push_back(m);
            return;
        }
        const Cell c = cellOf(m);
        for (double dx = -1; dx <= 1; ++dx) {
            for (double dy = -1; dy <= 1; ++dy) {
                for (double dz = -1; dz <= 1; ++dz) {
                    auto it = cells_.find(Cell{c.x + dx + 0.0, c.y + dy + 0.0, c.z + dz + 0.0});
                    if (it == cells_.end()) continue;
                    for (std::size_t i : it->second) {
                        if (out_[i].distance(m) < 0.002) return;
                    }
                }
            }
        }
        cells_[c].push_back(out_.size());
        out_.push_back(m);
    }

private:
    struct Cell {
        double x, y, z;
        bool operator==(const Cell&) const = default;
    };
    struct CellHash {
        std::size_t operator()(const Cell& c) const noexcept {
            std::size_t h = std::hash<double>()(c.x);
            h = h * 1000003u ^ std::hash<double>()(c.y);
            return h * 1000003u ^ std::hash<double>()(c.z);
        }
    };
    static double cell(double v) {
        // Beyond 1e300 neighbouring values are far more than 2 mm apart: the value is its own
        // cell. "+ 0.0" turns a negative zero into zero so that equal cells hash alike.
        if (std::fabs(v) >= 1e300) return v;
        return std::floor(v / 0.004) + 0.0;
    }
    static Cell cellOf(const XYZ& p) { return Cell{cell(p.x), cell(p.y), cell(p.z)}; }

    std::vector<XYZ>& out_;
    std::unordered_map<Cell, std::vector<std::size_t>, CellHash> cells_;
};

// A block insert placed in the world: rotated about the vertical axis, then moved.
class Placement {
public:
    explicit Placement(const Insert& in)
        : at_(in.at), s_(std::sin(in.rotation * std::numbers::pi / 180)),
          c_(std::cos(in.rotation * std::numbers::pi / 180)) {}
    XYZ operator()(const XYZ& p) const {
        return XYZ(at_.x + p.x * c_ - p.y * s_, at_.y + p.x * s_ + p.y * c_, at_.z + p.z);
    }

private:
    XYZ at_;
    double s_;
    double c_;
};

// The outline segments of one insert, while the file's segment budget lasts.
void placeOutline(const Block& block, const Placement& place, std::vector<std::pair<XYZ, XYZ>>& out,
                  std::size_t& left) {
    for (const Shape& shape : block.outline) {
        if (left == 0) break;
        if (!shape.face) {
            out.emplace_back(place(shape.q[0]), place(shape.q[1]));
            --left;
            continue;
        }
        const XYZ q[4] = {place(shape.q[0]), place(shape.q[1]), place(shape.q[2]), place(shape.q[3])};
        // Collapsed edges use up the budget too, so a block of empty faces cannot be
        // scanned again for every insert.
        for (int i = 0; i < 4 && left > 0; ++i, --left) {
            const XYZ& a = q[i];
            const XYZ& b = q[(i + 1) % 4];
            if (!(a.x == b.x && a.y == b.y && a.z == b.z)) out.emplace_back(a, b);
        }
    }
}

// The midpoints of one insert's pickup markers, while the file's marker budget lasts.
void placePickups(const Block& block, const Placement& place, std::vector<XYZ>& out, std::size_t& left) {
    PickupSet pickups(out);
    for (const auto& [p, q] : block.pickupLines) {
        if (left == 0) break;
        const XYZ a = place(p);
        const XYZ b = place(q);
        pickups.add(XYZ((a.x + b.x) * 0.5, (a.y + b.y) * 0.5, (a.z + b.z) * 0.5));
        --left; // duplicates count as well
    }
}

class Reader {
public:
    explicit Reader(std::stop_token stop) : stop_(std::move(stop)) {}

    std::vector<DXFSource> run(std::string_view text) {
        LineSplitter lines(text, true); // CR LF is one break
        while (auto codeLine = lines.next()) {
            // An odd line count leaves the last code with an empty value.
            const std::string_view value = trimmed(lines.next().value_or(std::string_view()));
            const std::int64_t code = parseInteger(trimmed(*codeLine)).value_or(-1);
            handle(code, value);
        }
        close();
        return resolve();
    }

private:
    void handle(std::int64_t code, std::string_view value) {
        if (code == 0) {
            throwIfCancelled(stop_);
            close();
            if (value != "SECTION") {
                open_ = true;
                entity_.type = value;
                entity_.codes.clear();
            }
        } else if (!open_) {
            if (code == 2) section_ = value;
        } else {
            entity_.codes.emplace_back(code, value);
        }
    }

    void close() {
        if (!open_) return;
        open_ = false;
        const Entity& e = entity_;
        if (e.type == "BLOCK") {
            const auto name = value(2, e.codes);
            block_ = name ? std::optional<std::string>(*name) : std::nullopt;
            blockEntry_ = nullptr;
        } else if (e.type == "ENDBLK") {
            block_.reset();
            blockEntry_ = nullptr;
        } else if (e.type == "INSERT") {
            Insert in;
            if (auto name = value(2, e.codes)) in.name = std::string(*name);
            in.at = point(e.codes, 10);
            in.rotation = number(50, e.codes);
            inserts_.push_back(std::move(in));
        } else if (section_ == "BLOCKS" && block_) {
            if (!blockEntry_) blockEntry_ = &blocks_[*block_];
            if (e.type == "LINE") {
                if (value(8, e.codes).value_or("").ends_with("PickupPoints"))
                    blockEntry_->pickupLines.push_back({point(e.codes, 10), point(e.codes, 11)});
                else
                    blockEntry_->outline.push_back(Shape{false, {point(e.codes, 10), point(e.codes, 11)}});
            } else if (e.type == "3DFACE") {
                blockEntry_->outline.push_back(Shape{
                    true, {point(e.codes, 10), point(e.codes, 11), point(e.codes, 12), point(e.codes, 13)}});
            }
        }
    }

    std::vector<DXFSource> resolve() {
        std::vector<DXFSource> result;
        std::size_t segmentsLeft = maxSegments;
        std::size_t pickupsLeft = maxPickups;
        for (const Insert& in : inserts_) {
            throwIfCancelled(stop_);
            if (!in.name || *in.name == "L_Acoustics_FullSystem") continue;
            const auto match = firstMatch(R"(^(\d+)_(.+)$)", *in.name);
            if (!match) continue;
            const auto block = blocks_.find(*in.name);
            if (block == blocks_.end()) continue;

            const Placement place(in);
            DXFSource src;
            placeOutline(block->second, place, src.segments, segmentsLeft);
            placePickups(block->second, place, src.pickups, pickupsLeft);
            src.index = parseInteger((*match)[1]).value_or(static_cast<std::int64_t>(result.size()));
            src.name = (*match)[2];
            std::replace(src.name.begin(), src.name.end(), '_', ' ');
            src.insert = in.at;
            src.rotation = in.rotation;
            result.push_back(std::move(src));
        }
        std::stable_sort(result.begin(), result.end(),
                         [](const DXFSource& a, const DXFSource& b) { return a.index < b.index; });
        return result;
    }

    std::stop_token stop_;
    bool open_ = false;
    Entity entity_;
    std::string_view section_;
    std::optional<std::string> block_;
    Block* blockEntry_ = nullptr;
    std::unordered_map<std::string, Block, TextHash, TextEqualTo> blocks_;
    std::vector<Insert> inserts_;
};

std::vector<DXFSource> parseValid(std::string_view text, std::stop_token stop) {
    return Reader(std::move(stop)).run(text);
}

} // namespace

namespace detail {

std::optional<std::string_view> value(std::int64_t code, const Codes& codes) {
    for (const auto& [c, v] : codes) {
        if (c == code) return v;
    }
    return std::nullopt;
}

double number(std::int64_t code, const Codes& codes) {
    const auto v = value(code, codes);
    if (!v) return 0;
    return parseDecimal(*v).value_or(0);
}

} // namespace detail

std::vector<DXFSource> parseText(std::string_view text, std::stop_token stop) {
    if (isValidUtf8(text)) return parseValid(text, std::move(stop));
    return parseValid(decodeUtf8Lossy(text), std::move(stop));
}

std::vector<DXFSource> parse(const std::filesystem::path& path, std::stop_token stop) {
    std::string bytes = readFile(path);
    if (isValidUtf8(bytes)) return parseValid(bytes, std::move(stop));
    // Every byte sequence is ISO Latin-1; the raw bytes are not needed any more.
    const std::string text = decodeLatin1(bytes);
    std::string().swap(bytes);
    return parseValid(text, std::move(stop));
}

} // namespace rig::DXFReader
