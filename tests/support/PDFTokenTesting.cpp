#include "support/PDFTokenTesting.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <memory>

namespace rig::test {

using Type = PDFText::detail::ContentTokens::Type;

namespace {

bool startsInlineImage(const ContentToken& token) {
    return token.first == Type::word && token.second == "ID";
}

} // namespace

std::vector<ContentToken> scannerTokens(std::string_view content) {
    PDFText::detail::ContentTokens tokens(content);
    std::vector<ContentToken> out;
    do {
        tokens.next();
        out.emplace_back(tokens.type(), tokens.value());
        if (startsInlineImage(out.back())) {
            tokens.nextInlineImage();
            out.emplace_back(tokens.type(), tokens.value());
        }
    } while (tokens.type() != Type::eof);
    return out;
}

std::vector<ContentToken> qpdfTokens(std::string_view content) {
    Buffer buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(content.data())), content.size());
    auto input = std::make_shared<BufferInputSource>("content", &buffer);
    QPDFTokenizer tokenizer;
    tokenizer.allowEOF();
    std::vector<ContentToken> out;
    auto read = [&] {
        const QPDFTokenizer::Token t = tokenizer.readToken(input, "content", true);
        // The kinds are in qpdf's order; space and comment tokens are never asked for.
        out.emplace_back(t.getType() == QPDFTokenizer::tt_inline_image ? Type::inlineImage
                                                                       : static_cast<Type>(t.getType()),
                         t.getValue());
    };
    do {
        read();
        if (startsInlineImage(out.back())) {
            char ch;
            input->read(&ch, 1);
            tokenizer.expectInlineImage(input);
            read();
        }
    } while (out.back().first != Type::eof);
    return out;
}

} // namespace rig::test
