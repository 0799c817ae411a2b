// Project files and crew documents from untrusted bytes: reading must fail cleanly, and
// every project that reads must give outputs without crashing; its crew document must
// encode and read back.
#include "analysis/CrewDoc.h"
#include "analysis/Issues.h"
#include "analysis/RigDXF.h"
#include "base/Json.h"
#include "model/Project.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace rig;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    try {
        CrewDoc doc = CrewDoc::decode(text);
        try {
            (void)CrewDoc::decode(doc.encode());
        } catch (const JsonEncodeError&) {
            // a number too large for a double reads as infinity and cannot be written back
        }
    } catch (const JsonDecodeError&) {
    }

    try {
        (void)decodeJsonText<RigDXF::Options>(text);
    } catch (const JsonDecodeError&) {
    }

    Project project;
    try {
        project = Project::fromText(text);
    } catch (const JsonDecodeError&) {
        return 0;
    }
    (void)project.issues();
    (void)project.groupedIssues();
    RigDXF::Options options;
    options.drops = true;
    (void)RigDXF::make(project, options);
    CrewDoc doc = CrewDoc::build(project, {}, Date(std::chrono::seconds(0)), true);
    // The builder leaves out every number that is not finite, so this must not throw.
    (void)CrewDoc::decode(doc.encode());
    return 0;
}
