// Project file reading: any input either opens or fails with a decode error, and an
// opened project writes a text that reopens to the same text.
#include "model/Project.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    rig::Project p;
    try {
        p = rig::Project::fromText(text);
    } catch (const rig::JsonDecodeError&) {
        return 0;
    }
    const std::string file = p.fileText();
    const rig::Project again = rig::Project::fromText(file);
    if (again.fileText() != file) std::abort();
    if (rig::Project::fromText(p.recoveryText()).fileText() != file) std::abort();
    return 0;
}
