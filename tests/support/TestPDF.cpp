#include "support/TestPDF.h"

#include "base/Text.h"

// qpdf 11 API without the PointerHolder compatibility layer.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <charconv>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace rig::test {

namespace {

// PDFDocEncoding bytes whose characters differ from Latin-1.
struct DocByte {
    unsigned char byte;
    char32_t code;
};
constexpr DocByte kDocSpecial[] = {
    {0x18, 0x02D8}, {0x19, 0x02C7}, {0x1A, 0x02C6}, {0x1B, 0x02D9}, {0x1C, 0x02DD}, {0x1D, 0x02DB},
    {0x1E, 0x02DA}, {0x1F, 0x02DC}, {0x80, 0x2022}, {0x81, 0x2020}, {0x82, 0x2021}, {0x83, 0x2026},
    {0x84, 0x2014}, {0x85, 0x2013}, {0x86, 0x0192}, {0x87, 0x2044}, {0x88, 0x2039}, {0x89, 0x203A},
    {0x8A, 0x2212}, {0x8B, 0x2030}, {0x8C, 0x201E}, {0x8D, 0x201C}, {0x8E, 0x201D}, {0x8F, 0x2018},
    {0x90, 0x2019}, {0x91, 0x201A}, {0x92, 0x2122}, {0x93, 0xFB01}, {0x94, 0xFB02}, {0x95, 0x0141},
    {0x96, 0x0152}, {0x97, 0x0160}, {0x98, 0x0178}, {0x99, 0x017D}, {0x9A, 0x0131}, {0x9B, 0x0142},
    {0x9C, 0x0153}, {0x9D, 0x0161}, {0x9E, 0x017E}, {0xA0, 0x20AC},
};

// The PDFDocEncoding byte of a character; -1 when it has none.
int docByte(char32_t c) {
    if (c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c < 0x7F)) return static_cast<int>(c);
    if (c >= 0xA1 && c <= 0xFF && c != 0xAD) return static_cast<int>(c);
    for (const DocByte& d : kDocSpecial) {
        if (d.code == c) return d.byte;
    }
    return -1;
}

std::vector<char32_t> codePoints(std::string_view utf8) {
    std::vector<char32_t> out;
    std::size_t pos = 0;
    while (pos < utf8.size()) out.push_back(nextCodePoint(utf8, pos));
    return out;
}

std::string utf16Bytes(std::string_view utf8) {
    std::string b;
    auto unit = [&](char32_t u) {
        b.push_back(static_cast<char>(u >> 8));
        b.push_back(static_cast<char>(u & 0xFF));
    };
    for (char32_t c : codePoints(utf8)) {
        if (c >= 0x10000) {
            c -= 0x10000;
            unit(0xD800 + (c >> 10));
            unit(0xDC00 + (c & 0x3FF));
        } else {
            unit(c);
        }
    }
    return b;
}

} // namespace

// --- Content ---------------------------------------------------------------------------

std::string Content::num(double v) {
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (r.ec != std::errc()) throw std::runtime_error("number does not fit");
    return std::string(buf, r.ptr);
}

Content& Content::raw(std::string_view ops) {
    ops_.append(ops);
    ops_.push_back('\n');
    return *this;
}

Content& Content::font(double size) {
    return raw("/F1 " + num(size) + " Tf");
}

Content& Content::tm(double a, double b, double c, double d, double e, double f) {
    return raw(num(a) + " " + num(b) + " " + num(c) + " " + num(d) + " " + num(e) + " " + num(f) + " Tm");
}
Content& Content::td(double tx, double ty) {
    return raw(num(tx) + " " + num(ty) + " Td");
}
Content& Content::tD(double tx, double ty) {
    return raw(num(tx) + " " + num(ty) + " TD");
}
Content& Content::tl(double leading) {
    return raw(num(leading) + " TL");
}
Content& Content::tj(std::string_view text, Enc enc) {
    return raw(string(text, enc) + " Tj");
}
Content& Content::quote(std::string_view text, Enc enc) {
    return raw(string(text, enc) + " '");
}

Content& Content::tjArray(const std::vector<TJPart>& parts, Enc enc) {
    std::string op = "[";
    for (const TJPart& p : parts) {
        if (op.size() > 1) op += ' ';
        if (const auto* s = std::get_if<std::string>(&p))
            op += string(*s, enc);
        else
            op += num(std::get<double>(p));
    }
    return raw(op + "] TJ");
}

Content& Content::re(double x, double y, double w, double h) {
    return raw(num(x) + " " + num(y) + " " + num(w) + " " + num(h) + " re");
}

std::string Content::literalBytes(std::string_view bytes) {
    static const char* digits = "01234567";
    std::string out = "(";
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        if (b == '(' || b == ')' || b == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (b < 0x20 || b >= 0x7F) {
            out.push_back('\\');
            out.push_back(digits[(b >> 6) & 7]);
            out.push_back(digits[(b >> 3) & 7]);
            out.push_back(digits[b & 7]);
        } else {
            out.push_back(ch);
        }
    }
    return out + ")";
}

std::string Content::literal(std::string_view utf8) {
    std::string bytes;
    for (char32_t c : codePoints(utf8)) {
        int b = docByte(c);
        bytes.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return literalBytes(bytes);
}

std::string Content::hexUTF16(std::string_view utf8) {
    static const char* hex = "0123456789ABCDEF";
    std::string out = "<";
    for (char ch : utf16Bytes(utf8)) {
        auto b = static_cast<unsigned char>(ch);
        out.push_back(hex[b >> 4]);
        out.push_back(hex[b & 15]);
    }
    return out + ">";
}

bool Content::encodable(std::string_view utf8, Enc enc) {
    if (enc == Enc::utf16) {
        const std::string b = utf16Bytes(utf8);
        return b.empty() || b[0] == 0 || (b.size() >= 4 && b[2] == 0);
    }
    std::string bytes;
    for (char32_t c : codePoints(utf8)) {
        int b = docByte(c);
        if (b < 0) return false;
        bytes.push_back(static_cast<char>(b));
    }
    // "þÿ" would read as a byte-order mark.
    return !(bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
             static_cast<unsigned char>(bytes[1]) == 0xFF);
}

// --- TestPDF ---------------------------------------------------------------------------

TestPDF& TestPDF::addPage(std::vector<TestStream> streams) {
    pages_.push_back(Page{std::move(streams), {}});
    return *this;
}

TestPDF& TestPDF::addPage(const std::vector<Content>& streams) {
    std::vector<TestStream> s;
    for (const Content& c : streams) s.push_back(TestStream{c.str(), {}});
    return addPage(std::move(s));
}

TestPDF& TestPDF::addPageWithContentsObject(std::string objectText) {
    pages_.push_back(Page{{}, std::move(objectText)});
    return *this;
}

std::string TestPDF::bytes() const {
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.emptyPDF();
    QPDFPageDocumentHelper doc(pdf);
    for (const Page& page : pages_) {
        QPDFObjectHandle p = pdf.makeIndirectObject(QPDFObjectHandle::parse(
            "<< /Type /Page /MediaBox [0 0 " + Content::num(width_) + " " + Content::num(height_) +
            "] /Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /" + font_ +
            " /Encoding /WinAnsiEncoding >> >> >> >>"));
        if (!page.contentsObject.empty()) {
            p.replaceKey("/Contents", QPDFObjectHandle::parse(page.contentsObject));
        } else {
            QPDFObjectHandle array = QPDFObjectHandle::newArray();
            for (const TestStream& s : page.streams) {
                QPDFObjectHandle stream;
                if (s.rawFilter.empty()) {
                    stream = pdf.newStream(s.data);
                } else {
                    stream = pdf.newStream();
                    stream.replaceStreamData(s.data, QPDFObjectHandle::parse(s.rawFilter),
                                             QPDFObjectHandle::newNull());
                }
                array.appendItem(stream);
            }
            if (array.getArrayNItems() == 1)
                p.replaceKey("/Contents", array.getArrayItem(0));
            else
                p.replaceKey("/Contents", array);
        }
        doc.addPage(QPDFPageObjectHelper(p), false);
    }

    QPDFWriter w(pdf);
    w.setOutputMemory();
    w.setDecodeLevel(qpdf_dl_none); // damaged streams go out as they are
    w.setCompressStreams(compress_);
    if (encrypt_) {
        w.setStaticID(true);
        w.setR6EncryptionParameters(userPassword_.c_str(), "owner", true, true, true, true, true, true,
                                    qpdf_r3p_full, true);
    } else {
        w.setDeterministicID(true);
    }
    w.write();
    auto buffer = w.getBufferSharedPointer();
    return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

void TestPDF::write(const std::filesystem::path& path) const {
    const std::string data = bytes();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string nestedPageTreePDF(int depth) {
    std::string out = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    auto obj = [&](const std::string& body) {
        offsets.push_back(out.size());
        out += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    obj("<< /Type /Catalog /Pages 2 0 R >>");
    for (int i = 0; i < depth; ++i)
        obj("<< /Type /Pages /Kids [" + std::to_string(offsets.size() + 2) + " 0 R] /Count 1 >>");
    const std::size_t page = offsets.size() + 1;
    obj("<< /Type /Page /MediaBox [0 0 10 10] /Contents " + std::to_string(page + 1) + " 0 R >>");
    obj("<< /Length 15 >>\nstream\nBT (deep) Tj ET\nendstream");
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t o : offsets) {
        std::string n = std::to_string(o);
        out += std::string(10 - n.size(), '0') + n + " 00000 n \n";
    }
    out += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
}

} // namespace rig::test
