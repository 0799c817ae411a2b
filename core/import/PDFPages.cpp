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

#include <algorithm>
#include <cstdio>
#include <exception>
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
            throw std::length_error("page content too large");
        }
        written_ += len;
        out_.append(reinterpret_cast<const char*>(data), len);
    }
    void finish() override {}

private:
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

// The page's content streams decoded one after the other into `sink`, a line break between
// them. Each stream goes straight into the bounded sink, so nothing is buffered whole.
void pipeContent(QPDFPageObjectHelper& page, Pipeline& sink) {
    QPDFObjectHandle contents = page.getObjectHandle().getKey("/Contents");
    std::vector<QPDFObjectHandle> streams;
    if (contents.isStream()) {
        streams.push_back(contents);
    } else if (contents.isArray()) {
        const int n = contents.getArrayNItems();
        for (int i = 0; i < n; ++i) {
            QPDFObjectHandle item = contents.getArrayItem(i);
            if (item.isStream()) streams.push_back(item);
        }
    }
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (i > 0) sink.writeCStr("\n");
        const int filters = filterCount(streams[i]);
        bool filtered = false;
        if (filters > maxFilters ||
            !streams[i].pipeStreamData(&sink, &filtered, 0, qpdf_dl_specialized, true) ||
            (!filtered && filters > 0))
            throw std::runtime_error("content stream does not decode");
    }
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
               const PageLimits& limits, const PageCheckpoint& checkpoint, const PageHandler& handle) {
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

    std::size_t budget = limits.documentBytes;
    std::string content;
    for (std::size_t i = 0; i < pages.size() && budget > 0; ++i) {
        checkpoint();
        content.clear();
        std::size_t written = 0;
        bool decoded = true;
        try {
            BoundedSink sink(content, std::min(limits.pageBytes, budget), written);
            pipeContent(pages[i], sink);
        } catch (const std::exception&) {
            decoded = false; // a damaged page is skipped whole; the other pages still count
        }
        budget -= std::min(written, budget);
        if (decoded && !content.empty()) handle(static_cast<std::int64_t>(i + 1), content);
        // Only the page being read keeps its decoded content.
        if (content.capacity() > (1u << 20)) std::string().swap(content);
    }
    return true;
}

} // namespace rig::PDFText::detail
