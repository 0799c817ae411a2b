// Feeds PDF bytes to the text extraction and the report parser.
//
// An input that starts with "%PDF" is read as a whole file. Any other input is taken as the
// content of a document's pages (form feeds separate pages), which lets the fuzzer work on
// operators and report text without first breaking compressed streams.
//
// Content is also tokenized twice, by the page scanner's tokens and by qpdf's tokenizer alone,
// which must agree.
//
// With RIG_FUZZ_SEEDS=<folder> set, generated reports and their page contents are written to
// that folder first, as a starting corpus.
#include "import/PDFText.h"
#include "import/ReportParser.h"
#include "model/RigError.h"
#include "support/PDFTokenTesting.h"
#include "support/ReportGenerator.h"
#include "support/TestPDF.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace {

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void writeSeeds(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        rig::test::ReportGeneratorOptions o;
        o.seed = seed;
        o.sources = 1 + static_cast<int>(seed % 4);
        o.compress = seed % 3 == 0;
        o.multipleStreams = seed % 2 == 0;
        o.ungroupedSource = seed % 5 == 0;
        rig::test::GeneratedReport g = rig::test::generateReport(o);
        const std::string n = std::to_string(seed);
        writeFile(dir / ("report-" + n + ".pdf"), g.pdf);
        std::string pages;
        for (const std::string& p : g.pageContents) {
            if (!pages.empty()) pages.push_back('\f');
            pages += p;
        }
        writeFile(dir / ("content-" + n + ".txt"), pages);
    }
}

std::vector<rig::PDFTextItem> itemsOf(std::string_view data) {
    if (data.starts_with("%PDF")) return rig::PDFText::itemsFromMemory(data, "fuzz.pdf");
    rig::test::TestPDF pdf;
    std::size_t start = 0;
    for (int page = 0; page < 8 && start <= data.size(); ++page) {
        std::size_t end = data.find('\f', start);
        if (end == std::string_view::npos || page == 7) end = data.size();
        pdf.addPage({rig::test::TestStream{std::string(data.substr(start, end - start)), {}}});
        start = end + 1;
    }
    return rig::PDFText::itemsFromMemory(pdf.bytes(), "fuzz.pdf");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* dir = std::getenv("RIG_FUZZ_SEEDS")) writeSeeds(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (!bytes.starts_with("%PDF") && rig::test::scannerTokens(bytes) != rig::test::qpdfTokens(bytes))
        std::abort();
    std::vector<rig::PDFTextItem> items;
    try {
        items = itemsOf(bytes);
    } catch (const rig::RigError& e) {
        if (e.kind() != rig::RigError::Kind::unreadable) std::abort();
        return 0;
    }
    for (const rig::PDFTextItem& item : items) {
        if (item.page < 1) std::abort();
        if (item.cell && (item.cell->width < 0 || item.cell->height < 0)) std::abort();
    }
    rig::Report report = rig::ReportParser::parse(items);
    for (const rig::Source& s : report.sources) {
        if (s.name.empty()) std::abort(); // a heading needs a name
    }
    return 0;
}
