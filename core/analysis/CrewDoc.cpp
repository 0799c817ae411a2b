#include "analysis/CrewDoc.h"

#include "base/Text.h"

#include <charconv>
#include <cmath>
#include <type_traits>

namespace rig {

namespace {

// A decimal read strictly: only a JSON number (the project file's "NaN" strings are not
// part of this format).
struct StrictDecimal {
    double value = 0;
};

} // namespace

template <>
struct JsonCodec<StrictDecimal> {
    static StrictDecimal read(const Json& j, const JsonPath& p) {
        if (!j.is_number()) throwJsonTypeError(p, "a number");
        return {j.get<double>()};
    }
    static Json write(StrictDecimal d) { return Json(d.value); }
};

// The crew records are read through their fromJson; they are written only by encode().
template <class T>
concept CrewRecord =
    std::is_same_v<T, CrewDoc> || std::is_same_v<T, CrewDoc::Src> || std::is_same_v<T, CrewDoc::Point> ||
    std::is_same_v<T, CrewDoc::Enc> || std::is_same_v<T, CrewDoc::Warn> || std::is_same_v<T, CrewDoc::Side> ||
    std::is_same_v<T, CrewDoc::Plan> || std::is_same_v<T, CrewDoc::Inv> || std::is_same_v<T, CrewDoc::Delta>;

template <CrewRecord T>
struct JsonCodec<T> {
    static T read(const Json& j, const JsonPath& p) { return T::fromJson(j, p); }
};

namespace {

// ---- Encoding ------------------------------------------------------------------------

// Where a value sits, formatted only when a number cannot be written.
struct Where {
    const Where* parent = nullptr;
    std::string_view key;
    std::size_t index = 0;
    bool isIndex = false;

    Where child(std::string_view k) const { return Where{this, k, 0, false}; }
    Where at(std::size_t i) const { return Where{this, {}, i, true}; }
    std::string str() const {
        if (parent == nullptr) return {};
        std::string out = parent->str();
        if (isIndex) {
            char buf[24];
            auto res = std::to_chars(buf, buf + sizeof buf, index);
            out += '[';
            out.append(buf, res.ptr);
            out += ']';
        } else {
            if (!out.empty()) out += '.';
            out += key;
        }
        return out;
    }
};

// Compact JSON text written straight into one string, in the order the calls come.
class Out {
public:
    Out() { s_.reserve(1 << 16); }

    void raw(char c) { s_ += c; }
    void raw(std::string_view v) { s_.append(v); }

    void text(std::string_view v) {
        if (!isValidUtf8(v)) {
            // Model texts are valid after import; replace rather than fail if one is not.
            text(decodeUtf8Lossy(v));
            return;
        }
        s_ += '"';
        for (char c : v) {
            switch (c) {
            case '"':
                s_ += "\\\"";
                break;
            case '\\':
                s_ += "\\\\";
                break;
            case '\b':
                s_ += "\\b";
                break;
            case '\f':
                s_ += "\\f";
                break;
            case '\n':
                s_ += "\\n";
                break;
            case '\r':
                s_ += "\\r";
                break;
            case '\t':
                s_ += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    static const char hex[] = "0123456789abcdef";
                    s_ += "\\u00";
                    s_ += hex[(c >> 4) & 0xF];
                    s_ += hex[c & 0xF];
                } else {
                    s_ += c;
                }
            }
        }
        s_ += '"';
    }

    void integer(std::int64_t v) {
        char buf[24];
        auto res = std::to_chars(buf, buf + sizeof buf, v);
        s_.append(buf, res.ptr);
    }

    // Shortest text that reads back to the same double; JSON has no form for the others.
    void number(double v, const Where& where) {
        if (!std::isfinite(v)) {
            throw JsonEncodeError("The crew document holds a number that is not finite at " + where.str() +
                                  ".");
        }
        char buf[32];
        auto res = std::to_chars(buf, buf + sizeof buf, v);
        s_.append(buf, res.ptr);
    }

    std::string take() { return std::move(s_); }

private:
    std::string s_;
};

void numbers(Out& out, const std::vector<double>& v, const Where& where) {
    out.raw('[');
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i > 0) out.raw(',');
        out.number(v[i], where.at(i));
    }
    out.raw(']');
}

void numberLists(Out& out, const std::vector<std::vector<double>>& v, const Where& where) {
    out.raw('[');
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i > 0) out.raw(',');
        numbers(out, v[i], where.at(i));
    }
    out.raw(']');
}

void integers(Out& out, const std::vector<std::int64_t>& v) {
    out.raw('[');
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i > 0) out.raw(',');
        out.integer(v[i]);
    }
    out.raw(']');
}

void texts(Out& out, const std::vector<std::string>& v) {
    out.raw('[');
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i > 0) out.raw(',');
        out.text(v[i]);
    }
    out.raw(']');
}

// One object, its fields in call order; optional fields left out when absent.
class Obj {
public:
    Obj(Out& out, const Where& where) : out_(out), where_(where) { out_.raw('{'); }
    void end() { out_.raw('}'); }

    // Starts a member whose value the caller writes next.
    Out& key(std::string_view k) {
        if (!first_) out_.raw(',');
        first_ = false;
        out_.raw('"');
        out_.raw(k);
        out_.raw("\":");
        return out_;
    }

    Obj& text(std::string_view k, const std::string& v) {
        key(k).text(v);
        return *this;
    }
    Obj& text(std::string_view k, const std::optional<std::string>& v) {
        if (v) key(k).text(*v);
        return *this;
    }
    Obj& integer(std::string_view k, std::int64_t v) {
        key(k).integer(v);
        return *this;
    }
    Obj& integer(std::string_view k, const std::optional<std::int64_t>& v) {
        if (v) key(k).integer(*v);
        return *this;
    }
    Obj& flag(std::string_view k, bool v) {
        key(k).raw(v ? "true" : "false");
        return *this;
    }
    Obj& decimal(std::string_view k, double v) {
        key(k).number(v, where_.child(k));
        return *this;
    }
    Obj& decimal(std::string_view k, const std::optional<double>& v) {
        if (v) decimal(k, *v);
        return *this;
    }
    Obj& decimals(std::string_view k, const std::vector<double>& v) {
        numbers(key(k), v, where_.child(k));
        return *this;
    }
    Obj& decimals(std::string_view k, const std::optional<std::vector<double>>& v) {
        if (v) decimals(k, *v);
        return *this;
    }

private:
    Out& out_;
    const Where& where_;
    bool first_ = true;
};

void encodePoint(Out& out, const CrewDoc::Point& p, const Where& where) {
    Obj o(out, where);
    o.text("role", p.role).text("hole", p.hole).decimals("xyz", p.xyz).decimal("load", p.load);
    o.flag("delta", p.delta).text("motor", p.motor).decimal("motorKg", p.motorKg);
    if (p.dm) numberLists(o.key("dm"), *p.dm, where.child("dm"));
    o.end();
}

void encodeEnc(Out& out, const CrewDoc::Enc& e, const Where& where) {
    Obj o(out, where);
    o.integer("n", e.n).text("t", e.t).decimal("a", e.a).decimal("s", e.s);
    o.decimal("top", e.top).decimal("bot", e.bot).text("pf", e.pf);
    o.end();
}

void encodeSide(Out& out, const CrewDoc::Side& s, const Where& where) {
    Obj o(out, where);
    o.text("p", s.p);
    integers(o.key("box"), s.box);
    o.key("pts").raw('[');
    for (std::size_t i = 0; i < s.pts.size(); ++i) {
        if (i > 0) out.raw(',');
        integers(out, s.pts[i]);
    }
    out.raw(']');
    o.end();
}

void encodePlan(Out& out, const CrewDoc::Plan& p, const Where& where) {
    Obj o(out, where);
    o.decimals("c", p.c);
    numberLists(o.key("hull"), p.hull, where.child("hull"));
    o.decimals("dir", p.dir);
    o.end();
}

void encodeSrc(Out& out, const CrewDoc::Src& s, const Where& where) {
    Obj o(out, where);
    o.text("id", s.id).text("name", s.name);
    texts(o.key("group"), s.group);
    o.text("config", s.config).text("bumper", s.bumper).integer("motors", s.motors);
    o.decimal("site", s.site).decimal("az", s.az).decimals("pos", s.pos).decimal("bottom", s.bottom);
    o.decimals("botFace", s.botFace).decimal("weight", s.weight).decimal("encWeight", s.encWeight);

    Where pointsWhere = where.child("points");
    o.key("points").raw('[');
    for (std::size_t i = 0; i < s.points.size(); ++i) {
        if (i > 0) out.raw(',');
        encodePoint(out, s.points[i], pointsWhere.at(i));
    }
    out.raw(']');
    o.flag("hasAngles", s.hasAngles);

    Where encWhere = where.child("enc");
    o.key("enc").raw('[');
    for (std::size_t i = 0; i < s.enc.size(); ++i) {
        if (i > 0) out.raw(',');
        encodeEnc(out, s.enc[i], encWhere.at(i));
    }
    out.raw(']');

    Where warnWhere = where.child("warn");
    o.key("warn").raw('[');
    for (std::size_t i = 0; i < s.warn.size(); ++i) {
        if (i > 0) out.raw(',');
        Obj w(out, warnWhere);
        w.text("l", s.warn[i].l).text("t", s.warn[i].t);
        w.end();
    }
    out.raw(']');

    if (s.side) encodeSide(o.key("side"), *s.side, where.child("side"));
    if (s.plan) encodePlan(o.key("plan"), *s.plan, where.child("plan"));
    o.decimal("rigH", s.rigH);
    if (s.changed) texts(o.key("changed"), *s.changed);
    o.end();
}

std::string encodeDoc(const CrewDoc& d) {
    Out out;
    Where root;
    Obj o(out, root);
    o.integer("v", d.v).text("name", d.name).text("author", d.author).text("updated", d.updated);
    o.text("report", d.report).text("svVersion", d.svVersion).text("distUnit", d.distUnit);
    o.text("weightUnit", d.weightUnit);

    Where sourcesWhere = root.child("sources");
    o.key("sources").raw('[');
    for (std::size_t i = 0; i < d.sources.size(); ++i) {
        if (i > 0) out.raw(',');
        encodeSrc(out, d.sources[i], sourcesWhere.at(i));
    }
    out.raw(']');

    Where inventoryWhere = root.child("inventory");
    o.key("inventory").raw('[');
    for (std::size_t i = 0; i < d.inventory.size(); ++i) {
        if (i > 0) out.raw(',');
        const CrewDoc::Inv& row = d.inventory[i];
        Obj io(out, inventoryWhere);
        io.text("cat", row.cat).integer("q", row.q).text("n", row.n).integer("ch", row.ch);
        io.end();
    }
    out.raw(']');

    Where deltaWhere = root.child("delta");
    o.key("delta");
    Obj delta(out, deltaWhere);
    delta.text("name", d.delta.name).decimal("spacing", d.delta.spacing).decimal("weight", d.delta.weight);
    delta.end();

    o.text("link", d.link).text("qr", d.qr);
    o.end();
    return out.take();
}

// ---- Decoding ------------------------------------------------------------------------

std::vector<double> plain(const std::vector<StrictDecimal>& v) {
    std::vector<double> out;
    out.reserve(v.size());
    for (const auto& d : v) out.push_back(d.value);
    return out;
}

std::vector<std::vector<double>> plain(const std::vector<std::vector<StrictDecimal>>& v) {
    std::vector<std::vector<double>> out;
    out.reserve(v.size());
    for (const auto& e : v) out.push_back(plain(e));
    return out;
}

std::optional<double> optDecimal(const JsonObjectReader& o, std::string_view key) {
    auto d = o.opt<StrictDecimal>(key);
    if (!d) return std::nullopt;
    return d->value;
}

std::vector<double> reqDecimals(const JsonObjectReader& o, std::string_view key) {
    return plain(o.req<std::vector<StrictDecimal>>(key));
}

std::optional<std::vector<double>> optDecimals(const JsonObjectReader& o, std::string_view key) {
    auto d = o.opt<std::vector<StrictDecimal>>(key);
    if (!d) return std::nullopt;
    return plain(*d);
}

} // namespace

CrewDoc::Point CrewDoc::Point::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Point p;
    p.role = o.req<std::string>("role");
    p.hole = o.req<std::string>("hole");
    p.xyz = optDecimals(o, "xyz");
    p.load = optDecimal(o, "load");
    p.delta = o.req<bool>("delta");
    p.motor = o.opt<std::string>("motor");
    p.motorKg = optDecimal(o, "motorKg");
    if (auto dm = o.opt<std::vector<std::vector<StrictDecimal>>>("dm")) p.dm = plain(*dm);
    return p;
}

CrewDoc::Enc CrewDoc::Enc::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Enc e;
    e.n = o.req<std::int64_t>("n");
    e.t = o.req<std::string>("t");
    e.a = optDecimal(o, "a");
    e.s = optDecimal(o, "s");
    e.top = optDecimal(o, "top");
    e.bot = optDecimal(o, "bot");
    e.pf = o.opt<std::string>("pf");
    return e;
}

CrewDoc::Warn CrewDoc::Warn::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Warn w;
    w.l = o.req<std::string>("l");
    w.t = o.req<std::string>("t");
    return w;
}

CrewDoc::Side CrewDoc::Side::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Side s;
    s.p = o.req<std::string>("p");
    s.box = o.req<std::vector<std::int64_t>>("box");
    s.pts = o.req<std::vector<std::vector<std::int64_t>>>("pts");
    return s;
}

CrewDoc::Plan CrewDoc::Plan::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Plan p;
    p.c = reqDecimals(o, "c");
    p.hull = plain(o.req<std::vector<std::vector<StrictDecimal>>>("hull"));
    p.dir = reqDecimals(o, "dir");
    return p;
}

CrewDoc::Src CrewDoc::Src::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Src s;
    s.id = o.req<std::string>("id");
    s.name = o.req<std::string>("name");
    s.group = o.req<std::vector<std::string>>("group");
    s.config = o.req<std::string>("config");
    s.bumper = o.opt<std::string>("bumper");
    s.motors = o.opt<std::int64_t>("motors");
    s.site = optDecimal(o, "site");
    s.az = optDecimal(o, "az");
    s.pos = optDecimals(o, "pos");
    s.bottom = optDecimal(o, "bottom");
    s.botFace = optDecimals(o, "botFace");
    s.weight = optDecimal(o, "weight");
    s.encWeight = optDecimal(o, "encWeight");
    s.points = o.req<std::vector<Point>>("points");
    s.hasAngles = o.req<bool>("hasAngles");
    s.enc = o.req<std::vector<Enc>>("enc");
    s.warn = o.req<std::vector<Warn>>("warn");
    s.side = o.opt<Side>("side");
    s.plan = o.opt<Plan>("plan");
    s.rigH = optDecimal(o, "rigH");
    s.changed = o.opt<std::vector<std::string>>("changed");
    return s;
}

CrewDoc::Inv CrewDoc::Inv::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Inv i;
    i.cat = o.req<std::string>("cat");
    i.q = o.req<std::int64_t>("q");
    i.n = o.req<std::string>("n");
    i.ch = o.opt<std::int64_t>("ch");
    return i;
}

CrewDoc::Delta CrewDoc::Delta::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Delta d;
    d.name = o.req<std::string>("name");
    d.spacing = optDecimal(o, "spacing");
    d.weight = optDecimal(o, "weight");
    return d;
}

CrewDoc CrewDoc::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    CrewDoc d;
    d.v = o.req<std::int64_t>("v");
    d.name = o.req<std::string>("name");
    d.author = o.opt<std::string>("author");
    d.updated = o.req<std::string>("updated");
    d.report = o.req<std::string>("report");
    d.svVersion = o.req<std::string>("svVersion");
    d.distUnit = o.req<std::string>("distUnit");
    d.weightUnit = o.req<std::string>("weightUnit");
    d.sources = o.req<std::vector<Src>>("sources");
    d.inventory = o.req<std::vector<Inv>>("inventory");
    d.delta = o.req<Delta>("delta");
    d.link = o.opt<std::string>("link");
    d.qr = o.opt<std::string>("qr");
    return d;
}

std::string CrewDoc::encode() const {
    return encodeDoc(*this);
}

CrewDoc CrewDoc::decode(std::string_view text) {
    return decodeJsonText<CrewDoc>(text);
}

} // namespace rig
