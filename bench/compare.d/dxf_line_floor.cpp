// Floor for the DXF reader: a getline loop over the pairs that converts every group code
// (std::from_chars), and every coordinate value (codes 10 to 39) with the C library's
// strtod, to a number. Prints a checksum.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string_view trimmed(const std::string& line) {
    std::string_view v(line);
    while (!v.empty() && (v.back() == '\r' || v.back() == ' ')) v.remove_suffix(1);
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    return v;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::ifstream in(argv[1], std::ios::binary);
    std::string codeLine, valueLine;
    long long pairs = 0;
    double sum = 0;
    while (std::getline(in, codeLine) && std::getline(in, valueLine)) {
        const std::string_view c = trimmed(codeLine);
        int code = -1;
        std::from_chars(c.data(), c.data() + c.size(), code);
        if (code >= 10 && code <= 39) {
            const std::string_view v = trimmed(valueLine);
            sum += std::strtod(std::string(v).c_str(), nullptr);
        }
        ++pairs;
    }
    std::printf("%lld pairs, sum %.3f\n", pairs, sum);
    return 0;
}
