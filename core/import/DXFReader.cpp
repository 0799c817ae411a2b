#include "import/DXFReader.h"

#include <unistd.h>

#include "base/File.h"
#include "base/Number.h"
#include "base/Regex.h"
#include "base/Text.h"
#include "import/ImportNotes.h"
#include "model/RigError.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <set>
#include <stdexcept>
#include <system_error>
#include <unordered_map>

namespace rig::DXFReader {

namespace {

bool isBlankOrTab(char c) {
    return c == ' ' || c == '\t';
}

// The line without the import's white space at its ends, as a view into the same text.
// Blanks and tabs go first; only a line ending in a non-ASCII byte needs the full rule.
std::string_view trimmed(std::string_view line) {
    while (!line.empty() && isBlankOrTab(line.front())) line.remove_prefix(1);
    while (!line.empty() && isBlankOrTab(line.back())) line.remove_suffix(1);
    if (line.empty() ||
        (static_cast<unsigned char>(line.front()) < 0x80 && static_cast<unsigned char>(line.back()) < 0x80))
        return line;
    const std::string t = trimWhite(line);
    if (t.empty()) return line.substr(0, 0);
    // Only white space is removed at the ends, so the rest is found where it starts.
    return line.substr(line.find(t), t.size());
}

// A group code line: an integer, none when it is none.
std::optional<std::int64_t> groupCode(std::string_view line) {
    const std::string_view t = trimmed(line);
    if (!t.empty() && t.size() <= 9) {
        std::int64_t v = 0;
        std::size_t i = 0;
        for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) v = v * 10 + (t[i] - '0');
        if (i == t.size()) return v;
    }
    return parseInteger(t);
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
    std::size_t lines = 0; // outline shapes that are single lines
    std::size_t uses = 0;  // inserts still to be placed
};

struct Insert {
    std::optional<std::string> name;
    XYZ at;
    double rotation = 0;
};

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

// The lines of a DXF text, split at LF, VT, FF, CR, NEL, LS and PS with CR LF as one break.
// Empty lines are kept, and a break at the very end gives a last, empty line. Reads either
// a whole text or a file in pieces, so that a file is never held whole; a file that turns
// out not to be UTF-8 is read again as ISO Latin-1.
class LineReader {
public:
    explicit LineReader(std::string_view text) : data_(text.data()), end_(text.size()), eof_(true) {}
    // `readError` starts the message of a failed read.
    LineReader(int fd, bool latin1, std::string readError)
        : fd_(fd), latin1_(latin1), readError_(std::move(readError)) {}

    // The next line, valid until the next call; none at the end (or, reading UTF-8 from a
    // file, at the first ill-formed byte).
    std::optional<std::string_view> next() {
        if (done_) return std::nullopt;
        std::size_t i = pos_;
        for (;;) {
            i = nextCandidate(i);
            if (i < end_) {
                const auto c = static_cast<unsigned char>(data_[i]);
                if (c == '\n') {
                    if (lineEnd_ == LineEnd::unknown) lineEnd_ = LineEnd::lf;
                    return take(i, 1);
                }
                if (kMayBreak[c]) {
                    // CR, NEL, LS and PS need the bytes after them.
                    if (eof_ || end_ - i >= 3 || (c != 0x0D && c < 0xC2)) {
                        const std::size_t width = breakWidth(i);
                        if (width > 0) {
                            if (lineEnd_ == LineEnd::unknown)
                                lineEnd_ = c == 0x0D && width == 1 ? LineEnd::cr : LineEnd::lf;
                            // A lone CR in a file of LF or CR LF lines stands inside a line.
                            if (c != 0x0D || (width == 1 && lineEnd_ == LineEnd::lf))
                                noteInnerBreak(i, width);
                            return take(i, width);
                        }
                        ++i;
                        continue;
                    }
                } else {
                    ++i;
                    continue;
                }
            } else if (eof_) {
                done_ = true;
                return std::string_view(data_ + pos_, end_ - pos_);
            }
            const std::size_t scanned = i - pos_;
            if (!refill()) {
                done_ = true;
                return std::nullopt;
            }
            i = pos_ + scanned;
        }
    }

    bool invalidUtf8() const { return invalid_; }
    // How many lines so far ended in VT, FF, NEL, LS or PS (or in a lone CR, in a file whose
    // first line ends in LF or CR LF), and the last such break: a reader compares the count
    // before and after a line to learn how that line ended.
    std::size_t innerBreaks() const { return innerBreaks_; }
    char32_t lastInnerBreak() const { return lastInnerBreak_; }

private:
    static constexpr std::array<bool, 256> kMayBreak = [] {
        std::array<bool, 256> t{};
        for (int c = 0x0A; c <= 0x0D; ++c) t[c] = true;
        t[0xC2] = t[0xE2] = true;
        return t;
    }();
    static constexpr std::size_t kChunk = 1 << 18;

    void noteInnerBreak(std::size_t i, std::size_t width) {
        std::size_t pos = 0;
        lastInnerBreak_ = nextCodePoint(std::string_view(data_ + i, width), pos);
        ++innerBreaks_;
    }

    std::string_view take(std::size_t i, std::size_t width) {
        const std::string_view line(data_ + pos_, i - pos_);
        pos_ = i + width;
        return line;
    }

    // The first byte from `i` on that is a control character below 0x0E or not ASCII, eight
    // bytes at a time; end_ when there is none.
    std::size_t nextCandidate(std::size_t i) const {
        constexpr std::uint64_t ones = 0x0101010101010101u, high = 0x8080808080808080u;
        for (; i + 8 <= end_; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, data_ + i, 8);
            // Bytes below 0x0E (exact for the lowest one) or with the high bit set.
            const std::uint64_t m = ((w - ones * 0x0E) & ~w & high) | (w & high);
            if (m != 0) return i + static_cast<std::size_t>(std::countr_zero(m) / 8);
        }
        for (; i < end_; ++i) {
            const auto c = static_cast<unsigned char>(data_[i]);
            if (c < 0x0E || c >= 0x80) return i;
        }
        return end_;
    }

    std::size_t breakWidth(std::size_t i) const {
        const std::size_t width = lineBreakAt(std::string_view(data_, end_), i);
        // CR LF is one break.
        return width == 1 && data_[i] == '\r' && i + 1 < end_ && data_[i + 1] == '\n' ? 2 : width;
    }

    // Keeps the unread rest, appends the next piece of the file. False at an ill-formed
    // UTF-8 byte; a failed read throws.
    bool refill() {
        const std::size_t keep = size_ - pos_;
        // Before the first piece there is no buffer yet, and memmove may not take null.
        if (keep > 0) std::memmove(buf_.get(), buf_.get() + pos_, keep);
        checked_ -= pos_;
        size_ = keep;
        pos_ = 0;
        const std::size_t room = latin1_ ? kChunk / 2 : kChunk;
        if (capacity_ - size_ < room * 2) grow(size_ + room * 2);
        char* dst = buf_.get() + size_;
        ssize_t n;
        do {
            n = ::read(fd_, dst, room);
        } while (n < 0 && errno == EINTR);
        if (n < 0) throw std::system_error(errno, std::generic_category(), readError_);
        if (n == 0) eof_ = true;
        if (latin1_) {
            // In place from the back: each byte becomes one or two.
            std::size_t out = static_cast<std::size_t>(n);
            for (ssize_t k = 0; k < n; ++k) out += static_cast<unsigned char>(dst[k]) >> 7;
            for (std::size_t k = static_cast<std::size_t>(n), o = out; k-- > 0;) {
                const auto c = static_cast<unsigned char>(dst[k]);
                if (c < 0x80) {
                    dst[--o] = static_cast<char>(c);
                } else {
                    dst[--o] = static_cast<char>(0x80 | (c & 0x3F));
                    dst[--o] = static_cast<char>(0xC0 | (c >> 6));
                }
            }
            size_ += out;
            checked_ = size_;
        } else {
            size_ += static_cast<std::size_t>(n);
            // A sequence cut at the end of the piece is checked with the next one.
            std::size_t cut = size_;
            if (!eof_) {
                std::size_t k = size_;
                while (k > checked_ && size_ - k < 3 &&
                       (static_cast<unsigned char>(buf_[k - 1]) & 0xC0) == 0x80)
                    --k;
                if (k > checked_) {
                    const auto lead = static_cast<unsigned char>(buf_[k - 1]);
                    const std::size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
                    if (k - 1 + len > size_) cut = k - 1;
                }
            }
            if (!isValidUtf8(std::string_view(buf_.get() + checked_, cut - checked_))) {
                invalid_ = true;
                return false;
            }
            checked_ = cut;
        }
        data_ = buf_.get();
        // Bytes not yet checked stay out of reach until the next piece completes them.
        end_ = checked_;
        return true;
    }

    void grow(std::size_t capacity) {
        std::unique_ptr<char[]> bigger(new char[capacity]);
        if (size_ > 0) std::memcpy(bigger.get(), buf_.get(), size_);
        buf_ = std::move(bigger);
        capacity_ = capacity;
    }

    const char* data_ = nullptr;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool done_ = false;
    int fd_ = -1;
    bool latin1_ = false;
    bool invalid_ = false;
    // How the file's lines end, by its first line break: LF or CR LF, or CR alone.
    enum class LineEnd { unknown, lf, cr };
    LineEnd lineEnd_ = LineEnd::unknown;
    std::size_t innerBreaks_ = 0;
    char32_t lastInnerBreak_ = 0;
    std::string readError_;
    std::unique_ptr<char[]> buf_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;    // bytes in buf_
    std::size_t checked_ = 0; // bytes of buf_ known to be well-formed
};

// Reads the pairs and keeps of each entity only what the sources need, converted to
// numbers as it arrives: the text is never needed again.
class Reader {
public:
    explicit Reader(std::stop_token stop) : stop_(std::move(stop)) {}

    // False when the file turned out not to be UTF-8 (nothing is kept then).
    bool read(LineReader& lines) {
        for (;;) {
            const std::size_t before = lines.innerBreaks();
            const auto codeLine = lines.next();
            if (!codeLine) break;
            ++line_;
            const std::optional<std::int64_t> number = groupCode(*codeLine);
            if (cut_.open) {
                if (!number) {
                    cutOff(lines.innerBreaks() != before);
                    continue;
                }
                if (++cut_.pairs > kCutWindow) cut_.open = false;
            }
            if (!number) {
                // A stray, missing or split line put the pairs out of step. Skipping this one
                // line alone brings them back: read in step, every code line is a number, and
                // read out of step, the first value that is no whole number lands here.
                lostStep(*codeLine);
                continue;
            }
            noteEmptyLine();
            const std::int64_t code = *number;
            const std::size_t after = lines.innerBreaks();
            // An odd line count leaves the last code with an empty value.
            const std::string_view value = trimmed(lines.next().value_or(std::string_view()));
            ++line_;
            if (lines.invalidUtf8()) return false;
            if (lines.innerBreaks() != after) [[unlikely]]
                cut_ = Cut{true, nameExpected(code), std::string(value), lines.lastInnerBreak(), 0};
            handle(code, value);
        }
        if (lines.invalidUtf8()) return false;
        close();
        if (line_ > 0 && !ended_) {
            notes_.add("the file ends before the drawing does (no EOF): it may be cut short.");
        }
        return true;
    }

    // What was skipped because a line break cut a line; kept here until the read is known
    // to be the one that counts.
    const ImportNotes& notes() const { return notes_; }

    std::vector<DXFSource> resolve() {
        std::vector<Placed> placed = match();
        std::vector<DXFSource> result;
        result.reserve(placed.size());
        std::size_t segmentsLeft = maxSegments;
        std::size_t pickupsLeft = maxPickups;
        for (Placed& p : placed) {
            throwIfCancelled(stop_);
            Block& block = *p.block;
            const Placement place(p.insert);
            DXFSource src;
            src.segments.reserve(
                std::min(segmentsLeft, block.lines + 4 * (block.outline.size() - block.lines)));
            placeOutline(block, place, src.segments, segmentsLeft);
            placePickups(block, place, src.pickups, pickupsLeft);
            src.index = p.index.value_or(static_cast<std::int64_t>(result.size()));
            src.name = std::move(p.name);
            std::replace(src.name.begin(), src.name.end(), '_', ' ');
            src.insert = p.insert.at;
            src.rotation = p.insert.rotation;
            result.push_back(std::move(src));
            // A block placed for the last time is not needed any more.
            if (--block.uses == 0) block = Block();
        }
        std::stable_sort(result.begin(), result.end(),
                         [](const DXFSource& a, const DXFSource& b) { return a.index < b.index; });
        return result;
    }

private:
    enum class Type { other, block, endblk, insert, line, face };
    // Codes kept of an entity: 10-13, 20-23, 30-33 and 50 as numbers, 2 and 8 as text.
    static constexpr int kRotation = 12;
    static constexpr int kName = 13;
    static constexpr int kLayer = 14;

    struct Placed {
        Insert insert;
        Block* block;
        std::optional<std::int64_t> index;
        std::string name;
    };

    // The inserts that place a source block ("<digits>_<name>"), with their blocks.
    std::vector<Placed> match() {
        std::vector<Placed> placed;
        for (Insert& in : inserts_) {
            if (!in.name || *in.name == "L_Acoustics_FullSystem" || cutNames_.contains(*in.name)) continue;
            const auto m = firstMatch(R"(^(\d+)_(.+)$)", *in.name);
            if (!m) continue;
            const auto block = blocks_.find(*in.name);
            if (block == blocks_.end()) continue;
            ++block->second.uses;
            placed.push_back(Placed{std::move(in), &block->second, parseInteger((*m)[1]), (*m)[2]});
        }
        inserts_.clear();
        return placed;
    }

    // The name of the open block or insert, not read yet: a pair of code 2 now names it.
    bool nameExpected(std::int64_t code) const {
        return code == 2 && open_ && (type_ == Type::block || type_ == Type::insert) &&
               !(seen_ & (1u << kName));
    }

    // A value line ended by VT, FF, NEL, LS or PS may be a value cut by a break inside it
    // (a name holding U+2028, say): the rest of the line then stands where a group code
    // belongs. A line there that is no number, within a few pairs, is taken for that rest
    // and skipped alone, so that the pairs after it are in step again. Files whose lines end
    // in these breaks have numbers on every code line and read as before.
    void cutOff(bool restGoesOn) {
        if (!cut_.noted) {
            cut_.noted = true;
            const std::string because = ": a line break (" + ImportNotes::codePoint(cut_.at) + ") cuts ";
            if (!cut_.name) {
                notes_.add("skipped the rest of the line after " + ImportNotes::quoted(cut_.value) + because +
                           "it there.");
            } else if (cutNames_.insert(cut_.value).second) {
                // Its block and inserts are skipped: the name they go by is not the source's.
                notes_.add("skipped the block " + ImportNotes::quoted(cut_.value) + because +
                           "its name there.");
            }
        }
        cut_.pairs = 0;
        // A rest of several pieces goes on past the next break.
        cut_.open = restGoesOn;
    }

    // Named by its line number. Past the end of the drawing nothing is named, and empty lines
    // are named only when more follows: a file may end in any number of them.
    void lostStep(std::string_view codeLine) {
        const std::string_view t = trimmed(codeLine);
        if (t.empty()) {
            noteEmptyLine();
            emptyLine_ = line_;
            return;
        }
        noteEmptyLine();
        if (ended_) return;
        notes_.addMade([&] {
            return "skipped line " + integerText(static_cast<std::int64_t>(line_)) + ", " +
                   ImportNotes::quoted(t) + ", where a group code belongs.";
        });
    }

    void noteEmptyLine() {
        if (emptyLine_ == 0) return;
        if (!ended_) {
            notes_.addMade([&] {
                return "skipped the empty line " + integerText(static_cast<std::int64_t>(emptyLine_)) +
                       ", where a group code belongs.";
            });
        }
        emptyLine_ = 0;
    }

    void handle(std::int64_t code, std::string_view value) {
        if (code == 0) {
            throwIfCancelled(stop_);
            close();
            if (value == "EOF") ended_ = true;
            if (value != "SECTION") open(value);
        } else if (!open_) {
            if (code == 2) section_ = value;
        } else if (keep_) {
            keep(code, value);
        }
    }

    void open(std::string_view type) {
        open_ = true;
        seen_ = 0;
        name_.reset();
        pickupLayer_ = false;
        inBlock_ = section_ == "BLOCKS" && block_.has_value();
        type_ = type == "BLOCK"    ? Type::block
                : type == "ENDBLK" ? Type::endblk
                : type == "INSERT" ? Type::insert
                : type == "LINE"   ? Type::line
                : type == "3DFACE" ? Type::face
                                   : Type::other;
        keep_ = type_ == Type::block || type_ == Type::insert ||
                ((type_ == Type::line || type_ == Type::face) && inBlock_);
    }

    // The first pair of each code counts.
    void keep(std::int64_t code, std::string_view value) {
        int slot = -1;
        if (code >= 10 && code <= 33 && code % 10 <= 3) {
            slot = static_cast<int>((code / 10 - 1) * 4 + code % 10);
        } else if (code == 50) {
            slot = kRotation;
        } else if (code == 2) {
            slot = kName;
        } else if (code == 8) {
            slot = kLayer;
        } else {
            return;
        }
        if (seen_ & (1u << slot)) return;
        seen_ |= 1u << slot;
        if (slot == kName) {
            name_ = std::string(value);
        } else if (slot == kLayer) {
            pickupLayer_ = value.ends_with("PickupPoints");
        } else if (auto number = parseDecimal(value)) {
            numbers_[slot] = *number;
        } else {
            numbers_[slot] = 0;
            notes_.addMade([&] {
                return "read line " + integerText(static_cast<std::int64_t>(line_)) + ", " +
                       ImportNotes::quoted(value) + ", as 0: a number belongs there.";
            });
        }
    }

    double number(int slot) const { return (seen_ & (1u << slot)) ? numbers_[slot] : 0; }
    XYZ point(int k) const { return XYZ(number(k), number(4 + k), number(8 + k)); }

    void close() {
        if (!open_) return;
        open_ = false;
        switch (type_) {
        case Type::block:
            block_ = std::move(name_);
            blockEntry_ = nullptr;
            return;
        case Type::endblk:
            block_.reset();
            blockEntry_ = nullptr;
            return;
        case Type::insert:
            inserts_.push_back(Insert{std::move(name_), point(0), number(kRotation)});
            return;
        default:
            break;
        }
        if (!inBlock_) return;
        if (!blockEntry_) blockEntry_ = &blocks_[*block_];
        if (type_ == Type::line) {
            if (pickupLayer_) {
                blockEntry_->pickupLines.push_back({point(0), point(1)});
            } else {
                blockEntry_->outline.push_back(Shape{false, {point(0), point(1)}});
                ++blockEntry_->lines;
            }
        } else if (type_ == Type::face) {
            blockEntry_->outline.push_back(Shape{true, {point(0), point(1), point(2), point(3)}});
        }
    }

    // The last value line ended by a break that may stand inside a line.
    struct Cut {
        bool open = false;
        bool name = false; // it named a block or an insert
        std::string value; // the piece before the break
        char32_t at = 0;   // the break
        int pairs = 0;     // read since, in step
        bool noted = false;
    };
    static constexpr int kCutWindow = 8;

    std::stop_token stop_;
    ImportNotes notes_;
    std::uint64_t line_ = 0;      // lines read so far
    std::uint64_t emptyLine_ = 0; // an empty line skipped where a code belongs, not named yet
    bool ended_ = false;          // the drawing's EOF was read
    Cut cut_;
    std::set<std::string> cutNames_;
    bool open_ = false;
    Type type_ = Type::other;
    bool keep_ = false;
    bool inBlock_ = false;
    std::uint32_t seen_ = 0;
    std::array<double, kRotation + 1> numbers_{}; // the number slots
    std::optional<std::string> name_;
    bool pickupLayer_ = false;
    std::string section_;
    std::optional<std::string> block_;
    Block* blockEntry_ = nullptr;
    std::unordered_map<std::string, Block, TextHash, TextEqualTo> blocks_;
    std::vector<Insert> inserts_;
};

// The sources, and into `notes` what the reader skipped; a file that gives no source at all
// is said first, ahead of the skipped lines of a file that is no DXF.
std::vector<DXFSource> finish(Reader& reader, ImportNotes* notes) {
    std::vector<DXFSource> sources = reader.resolve();
    if (notes) {
        if (sources.empty())
            notes->add("no loudspeaker array found: the file may be cut short, or not Soundvision's "
                       "loudspeaker export.");
        notes->append(reader.notes());
    }
    return sources;
}

std::vector<DXFSource> parseLines(LineReader& lines, const std::stop_token& stop, ImportNotes* notes) {
    Reader reader(stop);
    reader.read(lines);
    return finish(reader, notes);
}

} // namespace

std::vector<DXFSource> parseText(std::string_view text, std::stop_token stop, ImportNotes* notes) {
    if (isValidUtf8(text)) {
        LineReader lines(text);
        return parseLines(lines, stop, notes);
    }
    const std::string decoded = decodeUtf8Lossy(text);
    LineReader lines(decoded);
    return parseLines(lines, stop, notes);
}

std::vector<DXFSource> parse(const std::filesystem::path& path, std::stop_token stop, ImportNotes* notes) {
    const std::string readError = "Cannot read " + fileNameOf(path);
    const FileHandle file = openRegularFile(path, maxFileBytes);
    const int fd = file.fd();

    // Binary bytes read as Latin-1 would only give lines of noise to name.
    std::string head(64 * 1024, '\0');
    ssize_t got;
    do {
        got = ::pread(fd, head.data(), head.size(), 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) throw std::system_error(errno, std::generic_category(), readError);
    head.resize(static_cast<std::size_t>(got));
    if (auto why = whyNotText(head)) throw std::runtime_error(fileNameOf(path) + " " + *why + ".");

    // Read as UTF-8; a file that is not is read again as ISO Latin-1, which every byte
    // sequence is.
    for (bool latin1 : {false, true}) {
        if (latin1 && ::lseek(fd, 0, SEEK_SET) != 0)
            throw std::system_error(errno, std::generic_category(), readError);
        LineReader lines(fd, latin1, readError);
        Reader reader(stop);
        if (reader.read(lines)) return finish(reader, notes);
    }
    return {};
}

} // namespace rig::DXFReader
