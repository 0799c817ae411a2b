// Kept to C++17: qpdf 11.3's document headers do not compile as C++20 under clang.
#include "base/PdfJoin.h"

// qpdf 11 API without the PointerHolder compatibility layer.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <memory>

namespace rig {

std::optional<std::string> joinPdfs(const std::vector<std::string_view>& parts) {
    if (parts.empty()) return std::nullopt;
    // The library prints nothing: qpdf's warnings and messages go nowhere.
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    try {
        // Every part stays open until the joined one is written: its pages are copied from it then.
        std::vector<std::unique_ptr<QPDF>> docs;
        for (const std::string_view part : parts) {
            auto& doc = docs.emplace_back(std::make_unique<QPDF>());
            doc->setLogger(logger);
            doc->setSuppressWarnings(true);
            // qpdf reads straight from the caller's buffer, which outlives the documents.
            doc->processMemoryFile("part", part.data(), part.size());
        }
        QPDFPageDocumentHelper joined(*docs[0]);
        for (std::size_t i = 1; i < docs.size(); ++i) {
            for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(*docs[i]).getAllPages())
                joined.addPage(page, false);
        }
        QPDFWriter writer(*docs[0]);
        writer.setOutputMemory();
        // The parts' streams are already compressed: copied as they are, not decoded again.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.write();
        const std::unique_ptr<Buffer> out(writer.getBuffer());
        return std::string(reinterpret_cast<const char*>(out->getBuffer()), out->getSize());
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace rig
