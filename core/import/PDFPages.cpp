// Kept to C++17: qpdf 11.3's document headers do not compile as C++20 under clang.
#include "import/detail/PDFPages.h"

#include "base/File.h"

// qpdf 11 API without the PointerHolder compatibility layer.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

namespace rig::PDFText::detail {

namespace {

// Collects a page's decoded content, refusing more than the limit (a compression bomb
// would otherwise take all memory before a single operator is seen). `written` counts
// every byte decoded, also for a page that ends up refused.
class BoundedSink : public Pipeline {
public:
    BoundedSink(std::string& out, std::size_t limit, std::size_t& written)
        : Pipeline("page content", nullptr), out_(out), limit_(limit), written_(written) {}
    void write(unsigned char const* data, size_t len) override {
        if (len > limit_ - out_.size()) {
            written_ += limit_ - out_.size();
            overflowed_ = true;
            throw std::length_error("page content too large");
        }
        written_ += len;
        out_.append(reinterpret_cast<const char*>(data), len);
    }
    void finish() override {}
    // qpdf takes what a pipeline throws for a failed decode: the limit is looked up here.
    bool overflowed() const { return overflowed_; }

private:
    bool overflowed_ = false;
    std::string& out_;
    std::size_t limit_;
    std::size_t& written_;
};

int filterCount(QPDFObjectHandle& stream) {
    QPDFObjectHandle filter = stream.getDict().getKey("/Filter");
    if (filter.isArray()) return filter.getArrayNItems();
    return filter.isNull() ? 0 : 1;
}

// Real streams use one or two filters; qpdf builds a decoder with its own buffers for each.
constexpr int maxFilters = 8;

// A stream compressed with /FlateDecode alone, without parameters: inflated here rather than
// by qpdf, whose decoder takes a stream that ends early, or fails its checksum, as whole.
bool plainFlate(QPDFObjectHandle& stream) {
    QPDFObjectHandle dict = stream.getDict();
    QPDFObjectHandle filter = dict.getKey("/Filter");
    if (filter.isArray() && filter.getArrayNItems() == 1) filter = filter.getArrayItem(0);
    if (!filter.isName() || filter.getName() != "/FlateDecode") return false;
    QPDFObjectHandle parms = dict.getKey("/DecodeParms");
    if (parms.isArray() && parms.getArrayNItems() == 1) parms = parms.getArrayItem(0);
    return parms.isNull() || (parms.isDictionary() && parms.getKeys().empty());
}

// Inflates what is written to it into `next`, and knows at the end whether the compressed
// data was whole: its end reached and its checksum right. qpdf takes what a pipeline throws
// for a failed decode, so the reason is kept here.
class Inflater : public Pipeline {
public:
    explicit Inflater(Pipeline& next) : Pipeline("inflate", &next), next_(next) {
        std::memset(&z_, 0, sizeof z_);
        if (inflateInit(&z_) != Z_OK) throw std::runtime_error("inflate does not start");
    }
    ~Inflater() override { inflateEnd(&z_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    void write(unsigned char const* data, size_t len) override {
        if (ended_) return; // what follows the compressed data is not content
        z_.next_in = const_cast<unsigned char*>(data);
        z_.avail_in = static_cast<uInt>(len);
        while (!ended_ && (z_.avail_in > 0 || z_.avail_out == 0)) {
            z_.next_out = out_.data();
            z_.avail_out = static_cast<uInt>(out_.size());
            const int status = inflate(&z_, Z_NO_FLUSH);
            const std::size_t produced = out_.size() - z_.avail_out;
            if (produced > 0) next_.write(out_.data(), produced);
            if (status == Z_STREAM_END) {
                ended_ = true;
            } else if (status == Z_DATA_ERROR && z_.msg && std::strcmp(z_.msg, "incorrect data check") == 0) {
                // Everything is out by now; only the sum over it is wrong.
                ended_ = true;
                checkFailed_ = true;
            } else if (status == Z_BUF_ERROR) {
                break; // needs more input
            } else if (status != Z_OK) {
                trouble_ = PageTrouble::undecodable;
                throw std::runtime_error("content does not inflate");
            }
        }
    }
    void finish() override {
        if (ended_ || trouble_) return;
        trouble_ = PageTrouble::cutShort;
        throw std::runtime_error("content ends early");
    }
    // None when the data was whole.
    std::optional<PageTrouble> trouble() const {
        return checkFailed_ ? std::optional(PageTrouble::failsCheck) : trouble_;
    }

private:
    Pipeline& next_;
    z_stream z_;
    std::array<unsigned char, 1 << 16> out_{};
    bool ended_ = false;
    bool checkFailed_ = false;
    std::optional<PageTrouble> trouble_;
};

// The page's content streams decoded one after the other into `sink`, a line break between
// them. Each stream goes straight into the bounded sink, so nothing is buffered whole.
// Returns what kept the page from being read whole: none, or failsCheck for content that
// was written all the same; anything else leaves the page unread.
std::optional<PageTrouble> pipeContent(QPDFPageObjectHelper& page, BoundedSink& sink) {
    QPDFObjectHandle contents = page.getObjectHandle().getKey("/Contents");
    std::vector<QPDFObjectHandle> streams;
    if (contents.isStream()) {
        streams.push_back(contents);
    } else if (contents.isArray()) {
        const int n = contents.getArrayNItems();
        for (int i = 0; i < n; ++i) {
            QPDFObjectHandle item = contents.getArrayItem(i);
            // A part that is missing takes the sense of the rest with it.
            if (!item.isStream()) return PageTrouble::noContent;
            streams.push_back(item);
        }
    } else {
        return PageTrouble::noContent;
    }
    std::optional<PageTrouble> trouble;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (i > 0) sink.writeCStr("\n");
        bool filtered = false;
        if (plainFlate(streams[i])) {
            Inflater inflater(sink);
            const bool piped = streams[i].pipeStreamData(&inflater, &filtered, 0, qpdf_dl_none, true);
            if (sink.overflowed()) throw std::length_error("page content too large");
            const std::optional<PageTrouble> inflated = inflater.trouble();
            if (inflated && inflated != PageTrouble::failsCheck) return inflated;
            if (!piped) return PageTrouble::undecodable;
            if (inflated) trouble = inflated;
            continue;
        }
        const int filters = filterCount(streams[i]);
        if (filters > maxFilters) return PageTrouble::undecodable;
        const bool piped = streams[i].pipeStreamData(&sink, &filtered, 0, qpdf_dl_specialized, true);
        if (sink.overflowed()) throw std::length_error("page content too large");
        if (!piped || (!filtered && filters > 0)) return PageTrouble::undecodable;
    }
    return trouble;
}

// qpdf walks the page tree recursively; a tree nested deeper than any real document would
// exhaust the stack, so it is measured first without recursion.
bool pageTreeIsShallow(QPDF& pdf) {
    constexpr int maxDepth = 256;
    std::vector<std::pair<QPDFObjectHandle, int>> todo = {{pdf.getRoot().getKey("/Pages"), 0}};
    std::set<QPDFObjGen> seen;
    while (!todo.empty()) {
        auto [node, depth] = todo.back();
        todo.pop_back();
        if (depth > maxDepth) return false;
        if (node.isIndirect() && !seen.insert(node.getObjGen()).second) continue;
        if (!node.isDictionary()) continue;
        QPDFObjectHandle kids = node.getKey("/Kids");
        if (!kids.isArray()) continue;
        const int n = kids.getArrayNItems();
        for (int i = 0; i < n; ++i) todo.emplace_back(kids.getArrayItem(i), depth + 1);
    }
    return true;
}

} // namespace

bool readPages(const std::filesystem::path* file, std::string_view memory, const std::string& name,
               const PageLimits& limits, const PageCheckpoint& checkpoint, const PageHandler& handle,
               PagesRead* read) {
    PagesRead ignored;
    PagesRead& out = read ? *read : ignored;
    QPDF pdf;
    // The library prints nothing: qpdf's warnings and messages go nowhere.
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    pdf.setLogger(logger);
    pdf.setSuppressWarnings(true);
    std::FILE* stream = nullptr;
    if (file) {
        try {
            FileHandle handle = openRegularFile(*file, limits.fileBytes);
            stream = ::fdopen(handle.fd(), "rb");
            if (stream) handle.release();
        } catch (const std::system_error&) {
            return false; // a file that does not open is not readable as a PDF either
        }
        if (!stream) return false;
    }
    try {
        if (stream) {
            // qpdf owns the stream from here on and closes it.
            pdf.processFile(name.c_str(), stream, true);
        } else {
            // qpdf reads straight from the caller's buffer, which outlives the document.
            pdf.processMemoryFile(name.c_str(), memory.data(), memory.size());
        }
        pdf.getRoot();
    } catch (const std::exception&) {
        return false;
    }

    std::vector<QPDFPageObjectHelper> pages;
    try {
        if (!pageTreeIsShallow(pdf)) return true;
        pages = QPDFPageDocumentHelper(pdf).getAllPages();
    } catch (const std::exception&) {
        return true; // a page tree that cannot be walked has no pages to offer
    }

    out.pages = static_cast<std::int64_t>(pages.size());
    try {
        QPDFObjectHandle count = pdf.getRoot().getKey("/Pages").getKey("/Count");
        out.pageListDamaged = count.isInteger() && count.getIntValue() != out.pages;
    } catch (const std::exception&) {
        out.pageListDamaged = true;
    }

    std::size_t budget = limits.documentBytes;
    std::string content;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const auto number = static_cast<std::int64_t>(i + 1);
        if (budget == 0) {
            out.troubles.push_back({number, PageTrouble::overBudget});
            continue;
        }
        checkpoint();
        content.clear();
        std::size_t written = 0;
        std::optional<PageTrouble> trouble;
        const std::size_t limit = std::min(limits.pageBytes, budget);
        try {
            BoundedSink sink(content, limit, written);
            trouble = pipeContent(pages[i], sink);
        } catch (const std::length_error&) {
            trouble = limit < limits.pageBytes ? PageTrouble::overBudget : PageTrouble::tooLarge;
        } catch (const std::exception&) {
            // A damaged page is skipped whole; the other pages still count.
            trouble = PageTrouble::undecodable;
        }
        budget -= std::min(written, budget);
        if (trouble) out.troubles.push_back({number, *trouble});
        const bool decoded = !trouble || *trouble == PageTrouble::failsCheck;
        if (decoded && !content.empty()) handle(number, content);
        // Only the page being read keeps its decoded content.
        if (content.capacity() > (1u << 20)) std::string().swap(content);
    }
    return true;
}

} // namespace rig::PDFText::detail
