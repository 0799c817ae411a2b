// Kept to C++17: qpdf 11.3's document headers do not compile as C++20 under clang.
#include "base/PdfJoin.h"

#include "base/Text.h"

// qpdf 11 API without the PointerHolder compatibility layer.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <memory>

namespace rig {

namespace {

std::string partName(std::size_t index, std::size_t count) {
    return "part " + std::to_string(index + 1) + " of " + std::to_string(count);
}

// qpdf's words on one line and cut short: they may quote the damaged bytes.
std::string reason(std::string_view text) {
    constexpr std::size_t kLength = 160;
    const std::string line = singleLine(decodeUtf8Lossy(text));
    std::size_t pos = 0;
    for (std::size_t n = 0; n < kLength && pos < line.size(); ++n) nextCodePoint(line, pos);
    return pos < line.size() ? line.substr(0, pos) + "\u2026" : line;
}

std::string failure(const std::string& part, std::string_view why) {
    return "Could not join the PDF's parts: " + part + " is damaged (" + reason(why) + ").";
}

} // namespace

std::optional<std::string> joinPdfs(const std::vector<std::string_view>& parts, std::string* error) {
    const auto fail = [error](std::string message) -> std::optional<std::string> {
        if (error) *error = std::move(message);
        return std::nullopt;
    };
    if (parts.empty()) return fail("Could not join the PDF's parts: there is none.");
    // The library prints nothing: qpdf's warnings and messages go nowhere.
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    // Every part stays open until the joined one is written: its pages are copied from it then.
    std::vector<std::unique_ptr<QPDF>> docs;
    std::vector<std::string> names;
    // A warning is damage qpdf worked around: an object it could not read becomes nothing.
    const auto warned = [&]() -> std::optional<std::string> {
        for (std::size_t i = 0; i < docs.size(); ++i) {
            if (!docs[i]->anyWarnings()) continue;
            const std::vector<QPDFExc> warnings = docs[i]->getWarnings();
            return failure(names[i], warnings.empty() ? std::string("unreadable")
                                                      : warnings.front().getMessageDetail());
        }
        return std::nullopt;
    };
    try {
        for (std::size_t i = 0; i < parts.size(); ++i) {
            names.push_back(partName(i, parts.size()));
            auto& doc = docs.emplace_back(std::make_unique<QPDF>());
            doc->setLogger(logger);
            doc->setSuppressWarnings(true);
            doc->setAttemptRecovery(false);
            // qpdf reads straight from the caller's buffer, which outlives the documents.
            doc->processMemoryFile(names[i].c_str(), parts[i].data(), parts[i].size());
            if (QPDFPageDocumentHelper(*doc).getAllPages().empty()) {
                if (auto message = warned()) return fail(*message);
                return fail("Could not join the PDF's parts: " + names[i] + " has no pages.");
            }
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
        if (auto message = warned()) return fail(*message);
        const std::unique_ptr<Buffer> out(writer.getBuffer());
        return std::string(reinterpret_cast<const char*>(out->getBuffer()), out->getSize());
    } catch (const QPDFExc& e) {
        const std::string& part = e.getFilename();
        return fail(failure(part.empty() ? names.back() : part, e.getMessageDetail()));
    } catch (const std::exception& e) {
        return fail("Could not join the PDF's parts: " + reason(e.what()) + ".");
    }
}

} // namespace rig
