// rig-sample-files DIR: writes a Soundvision report PDF, inventory CSV and loudspeaker DXF of a
// small show into DIR and prints their paths joined by ":" (the form RIG_FILES takes).
#include "support/SampleShow.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]).empty() || argv[1][0] == '-') {
        std::fputs("usage: rig-sample-files DIR\n"
                   "Writes a sample show's Soundvision exports (report PDF, inventory CSV, loudspeaker DXF)\n"
                   "into DIR and prints their paths joined by \":\".\n",
                   stderr);
        return 2;
    }
    try {
        std::string joined;
        for (const auto& path : rig::test::writeSampleShow(argv[1])) {
            if (!joined.empty()) joined += ':';
            joined += path.string();
        }
        std::puts(joined.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rig-sample-files: %s\n", e.what());
        return 1;
    }
    return 0;
}
