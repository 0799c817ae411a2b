// The readers take only regular files of a sane size: a pipe would stop the import for good,
// a link to a device would fill the memory.
#include "base/File.h"
#include "import/DXFReader.h"
#include "import/InventoryCSV.h"
#include "import/PDFText.h"
#include "import/ReportParser.h"

#include "support/SpecialFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace rig;
namespace fs = std::filesystem;

namespace {

struct Reader {
    const char* extension;
    std::uint64_t maxBytes;
    const char* limitText;
    std::function<void(const fs::path&)> read;
};

const Reader readers[] = {
    {".pdf", PDFText::maxFileBytes, "1 GB", [](const fs::path& p) { ReportParser::parse(p); }},
    {".csv", InventoryCSV::maxFileBytes, "64 MB", [](const fs::path& p) { InventoryCSV::parse(p); }},
    {".dxf", DXFReader::maxFileBytes, "1 GB", [](const fs::path& p) { DXFReader::parse(p); }},
};

std::string failure(const Reader& reader, const fs::path& path) {
    return test::refusalOf([&] { reader.read(path); });
}

} // namespace

TEST(Readers, TakeOnlyRegularFilesUpToTheirLimit) {
    test::TempDir dir;
    for (const Reader& reader : readers) {
        SCOPED_TRACE(reader.extension);
        const std::string ext = reader.extension;
        test::TestFifo fifo(dir.path() / ("pipe" + ext));
        EXPECT_EQ(failure(reader, fifo.path()), "pipe" + ext + " is not a regular file.");
        EXPECT_FALSE(fifo.wasOpened());

        fs::create_symlink("/dev/zero", dir.path() / ("zero" + ext));
        EXPECT_EQ(failure(reader, dir.path() / ("zero" + ext)), "zero" + ext + " is not a regular file.");

        const fs::path big = test::sparseFile(dir.path() / ("big" + ext), reader.maxBytes + 1);
        EXPECT_EQ(failure(reader, big), "big" + ext + " is larger than " + reader.limitText + ".");
    }
}
