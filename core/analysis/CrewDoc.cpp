#include "analysis/CrewDoc.h"

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

using OJson = nlohmann::ordered_json;

// ---- Encoding ------------------------------------------------------------------------

[[noreturn]] void notFinite(const JsonPath& path) {
    throw JsonEncodeError("The crew document holds a number that is not finite at " + path.str() + ".");
}

OJson number(double v, const JsonPath& path) {
    if (!std::isfinite(v)) notFinite(path);
    return OJson(v);
}

OJson numbers(const std::vector<double>& v, const JsonPath& path) {
    OJson out = OJson::array();
    for (std::size_t i = 0; i < v.size(); ++i) out.push_back(number(v[i], path.index(i)));
    return out;
}

OJson numberLists(const std::vector<std::vector<double>>& v, const JsonPath& path) {
    OJson out = OJson::array();
    for (std::size_t i = 0; i < v.size(); ++i) out.push_back(numbers(v[i], path.index(i)));
    return out;
}

OJson integers(const std::vector<std::int64_t>& v) {
    OJson out = OJson::array();
    for (std::int64_t n : v) out.push_back(n);
    return out;
}

OJson texts(const std::vector<std::string>& v) {
    OJson out = OJson::array();
    for (const std::string& s : v) out.push_back(s);
    return out;
}

// One object in field order; optional fields left out when absent.
class Obj {
public:
    explicit Obj(const JsonPath& path) : path_(path) {}

    Obj& text(const char* key, const std::string& v) {
        j_.emplace(key, v);
        return *this;
    }
    Obj& text(const char* key, const std::optional<std::string>& v) {
        if (v) j_.emplace(key, *v);
        return *this;
    }
    Obj& integer(const char* key, std::int64_t v) {
        j_.emplace(key, v);
        return *this;
    }
    Obj& integer(const char* key, const std::optional<std::int64_t>& v) {
        if (v) j_.emplace(key, *v);
        return *this;
    }
    Obj& flag(const char* key, bool v) {
        j_.emplace(key, v);
        return *this;
    }
    Obj& decimal(const char* key, double v) {
        j_.emplace(key, number(v, path_.key(key)));
        return *this;
    }
    Obj& decimal(const char* key, const std::optional<double>& v) {
        if (v) decimal(key, *v);
        return *this;
    }
    Obj& decimals(const char* key, const std::vector<double>& v) {
        j_.emplace(key, numbers(v, path_.key(key)));
        return *this;
    }
    Obj& decimals(const char* key, const std::optional<std::vector<double>>& v) {
        if (v) decimals(key, *v);
        return *this;
    }
    Obj& value(const char* key, OJson v) {
        j_.emplace(key, std::move(v));
        return *this;
    }
    const JsonPath& path() const { return path_; }
    OJson take() { return std::move(j_); }

private:
    const JsonPath& path_;
    OJson j_ = OJson::object();
};

OJson encodePoint(const CrewDoc::Point& p, const JsonPath& path) {
    Obj o(path);
    o.text("role", p.role).text("hole", p.hole).decimals("xyz", p.xyz).decimal("load", p.load);
    o.flag("delta", p.delta).text("motor", p.motor).decimal("motorKg", p.motorKg);
    if (p.dm) o.value("dm", numberLists(*p.dm, path.key("dm")));
    return o.take();
}

OJson encodeEnc(const CrewDoc::Enc& e, const JsonPath& path) {
    Obj o(path);
    o.integer("n", e.n).text("t", e.t).decimal("a", e.a).decimal("s", e.s);
    o.decimal("top", e.top).decimal("bot", e.bot).text("pf", e.pf);
    return o.take();
}

OJson encodeSide(const CrewDoc::Side& s) {
    OJson pts = OJson::array();
    for (const auto& p : s.pts) pts.push_back(integers(p));
    OJson o = OJson::object();
    o.emplace("p", s.p);
    o.emplace("box", integers(s.box));
    o.emplace("pts", std::move(pts));
    return o;
}

OJson encodePlan(const CrewDoc::Plan& p, const JsonPath& path) {
    Obj o(path);
    o.decimals("c", p.c).value("hull", numberLists(p.hull, path.key("hull"))).decimals("dir", p.dir);
    return o.take();
}

OJson encodeSrc(const CrewDoc::Src& s, const JsonPath& path) {
    Obj o(path);
    o.text("id", s.id).text("name", s.name).value("group", texts(s.group)).text("config", s.config);
    o.text("bumper", s.bumper).integer("motors", s.motors).decimal("site", s.site).decimal("az", s.az);
    o.decimals("pos", s.pos).decimal("bottom", s.bottom).decimals("botFace", s.botFace);
    o.decimal("weight", s.weight).decimal("encWeight", s.encWeight);

    JsonPath pointsPath = path.key("points");
    OJson points = OJson::array();
    for (std::size_t i = 0; i < s.points.size(); ++i)
        points.push_back(encodePoint(s.points[i], pointsPath.index(i)));
    o.value("points", std::move(points)).flag("hasAngles", s.hasAngles);

    JsonPath encPath = path.key("enc");
    OJson enc = OJson::array();
    for (std::size_t i = 0; i < s.enc.size(); ++i) enc.push_back(encodeEnc(s.enc[i], encPath.index(i)));
    o.value("enc", std::move(enc));

    OJson warn = OJson::array();
    for (const auto& w : s.warn) {
        OJson wo = OJson::object();
        wo.emplace("l", w.l);
        wo.emplace("t", w.t);
        warn.push_back(std::move(wo));
    }
    o.value("warn", std::move(warn));

    if (s.side) o.value("side", encodeSide(*s.side));
    if (s.plan) o.value("plan", encodePlan(*s.plan, path.key("plan")));
    o.decimal("rigH", s.rigH);
    if (s.changed) o.value("changed", texts(*s.changed));
    return o.take();
}

OJson encodeDoc(const CrewDoc& d) {
    JsonPath root;
    Obj o(root);
    o.integer("v", d.v).text("name", d.name).text("author", d.author).text("updated", d.updated);
    o.text("report", d.report).text("svVersion", d.svVersion).text("distUnit", d.distUnit);
    o.text("weightUnit", d.weightUnit);

    JsonPath sourcesPath = root.key("sources");
    OJson sources = OJson::array();
    for (std::size_t i = 0; i < d.sources.size(); ++i) {
        sources.push_back(encodeSrc(d.sources[i], sourcesPath.index(i)));
    }
    o.value("sources", std::move(sources));

    OJson inventory = OJson::array();
    for (const auto& row : d.inventory) {
        OJson io = OJson::object();
        io.emplace("cat", row.cat);
        io.emplace("q", row.q);
        io.emplace("n", row.n);
        if (row.ch) io.emplace("ch", *row.ch);
        inventory.push_back(std::move(io));
    }
    o.value("inventory", std::move(inventory));

    JsonPath deltaPath = root.key("delta");
    Obj delta(deltaPath);
    delta.text("name", d.delta.name).decimal("spacing", d.delta.spacing).decimal("weight", d.delta.weight);
    o.value("delta", delta.take());

    o.text("link", d.link).text("qr", d.qr);
    return o.take();
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
    // Model texts are valid UTF-8 after import; replace rather than fail if one is not.
    return encodeDoc(*this).dump(-1, ' ', false, OJson::error_handler_t::replace);
}

CrewDoc CrewDoc::decode(std::string_view text) {
    return decodeJsonText<CrewDoc>(text);
}

} // namespace rig
