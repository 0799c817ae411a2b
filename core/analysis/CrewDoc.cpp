#include "analysis/CrewDoc.h"

#include "base/Json.h"

#include <cmath>
#include <type_traits>

namespace rig {

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
// Each record hands its fields over in the order of its table.

// Whole decimals are written without a fraction ("52", not "52.0"): shorter, faster, and the
// text the page has always had; readers take both as the same number. Negative zero, whole
// values beyond 2^53 and values that are not finite (for the dump to refuse) stay decimals.
OrderedJson dec(double v) {
    bool whole = v == std::trunc(v) && std::fabs(v) < 9007199254740992.0 && !(v == 0 && std::signbit(v));
    return whole ? OrderedJson(static_cast<std::int64_t>(v)) : OrderedJson(v);
}

OrderedJson dec(const std::vector<double>& v) {
    OrderedJson out = OrderedJson::array();
    auto& a = out.get_ref<OrderedJson::array_t&>();
    a.reserve(v.size());
    for (double d : v) a.push_back(dec(d));
    return out;
}

OrderedJson dec(const std::vector<std::vector<double>>& v) {
    OrderedJson out = OrderedJson::array();
    auto& a = out.get_ref<OrderedJson::array_t&>();
    a.reserve(v.size());
    for (const auto& e : v) a.push_back(dec(e));
    return out;
}

template <class T>
std::optional<OrderedJson> dec(const std::optional<T>& v) {
    if (!v) return std::nullopt;
    return dec(*v);
}

template <class T>
OrderedJson list(const std::vector<T>& v, OrderedJson (*encode)(const T&)) {
    OrderedJson out = OrderedJson::array();
    out.get_ref<OrderedJson::array_t&>().reserve(v.size());
    for (const T& e : v) out.push_back(encode(e));
    return out;
}

OrderedJson encodePoint(const CrewDoc::Point& p) {
    return OrderedJsonWriter(9)
        .put("role", p.role)
        .put("hole", p.hole)
        .opt("xyz", dec(p.xyz))
        .opt("load", dec(p.load))
        .opt("loadInvalid", p.loadInvalid ? std::optional<bool>(true) : std::nullopt)
        .put("delta", p.delta)
        .opt("motor", p.motor)
        .opt("motorKg", dec(p.motorKg))
        .opt("dm", dec(p.dm))
        .take();
}

OrderedJson encodeEnc(const CrewDoc::Enc& e) {
    return OrderedJsonWriter(7)
        .put("n", e.n)
        .put("t", e.t)
        .opt("a", dec(e.a))
        .opt("s", dec(e.s))
        .opt("top", dec(e.top))
        .opt("bot", dec(e.bot))
        .opt("pf", e.pf)
        .take();
}

OrderedJson encodeWarn(const CrewDoc::Warn& w) {
    return OrderedJsonWriter(2).put("l", w.l).put("t", w.t).take();
}

OrderedJson encodeSide(const CrewDoc::Side& s) {
    return OrderedJsonWriter(3).put("p", s.p).put("box", s.box).put("pts", s.pts).take();
}

OrderedJson encodePlan(const CrewDoc::Plan& p) {
    return OrderedJsonWriter(3).put("c", dec(p.c)).put("hull", dec(p.hull)).put("dir", dec(p.dir)).take();
}

OrderedJson encodeSrc(const CrewDoc::Src& s) {
    OrderedJsonWriter w(22);
    w.put("id", s.id).put("name", s.name).put("group", s.group).put("config", s.config);
    w.opt("bumper", s.bumper).opt("motors", s.motors).opt("site", dec(s.site)).opt("az", dec(s.az));
    w.opt("pos", dec(s.pos)).opt("bottom", dec(s.bottom)).opt("botFace", dec(s.botFace));
    w.opt("weight", dec(s.weight)).opt("encWeight", dec(s.encWeight));
    w.put("points", list(s.points, encodePoint)).put("hasAngles", s.hasAngles);
    w.put("enc", list(s.enc, encodeEnc)).put("warn", list(s.warn, encodeWarn));
    if (s.side) w.put("side", encodeSide(*s.side));
    if (s.plan) w.put("plan", encodePlan(*s.plan));
    w.opt("rigH", dec(s.rigH)).opt("changed", s.changed).opt("no", s.no);
    return w.take();
}

OrderedJson encodeInv(const CrewDoc::Inv& i) {
    return OrderedJsonWriter(4).put("cat", i.cat).put("q", i.q).put("n", i.n).opt("ch", i.ch).take();
}

OrderedJson encodeDelta(const CrewDoc::Delta& d) {
    return OrderedJsonWriter(3)
        .put("name", d.name)
        .opt("spacing", dec(d.spacing))
        .opt("weight", dec(d.weight))
        .take();
}

OrderedJson encodeDoc(const CrewDoc& d) {
    OrderedJsonWriter w(13);
    w.put("v", d.v).put("name", d.name).opt("author", d.author).put("updated", d.updated);
    w.put("report", d.report).put("svVersion", d.svVersion);
    w.put("distUnit", d.distUnit).put("weightUnit", d.weightUnit);
    w.put("sources", list(d.sources, encodeSrc)).put("inventory", list(d.inventory, encodeInv));
    w.put("delta", encodeDelta(d.delta)).opt("link", d.link).opt("qr", d.qr);
    return w.take();
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
    p.loadInvalid = o.opt<bool>("loadInvalid").value_or(false);
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
    s.no = o.opt<std::int64_t>("no");
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
    return dumpJsonCompactStrict(encodeDoc(*this));
}

std::string CrewDoc::encodeLenient() const {
    return dumpJsonCompactNullingNonFinite(encodeDoc(*this));
}

CrewDoc CrewDoc::decode(std::string_view text) {
    return decodeJsonText<CrewDoc>(text);
}

} // namespace rig
