// Floor for the report reader: opens the PDF with qpdf, decodes every page's content and
// runs qpdf's tokenizer over it, nothing else. Prints the token count.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.processFile(argv[1]);
    long long tokens = 0;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        Pl_Buffer buf("page");
        page.pipeContents(&buf);
        std::shared_ptr<Buffer> content(buf.getBuffer());
        auto input = std::make_shared<BufferInputSource>("page", content.get());
        QPDFTokenizer tokenizer;
        tokenizer.allowEOF();
        while (tokenizer.readToken(input, "page", true).getType() != QPDFTokenizer::tt_eof) ++tokens;
    }
    std::printf("%lld tokens\n", tokens);
    return 0;
}
