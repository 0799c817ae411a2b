#include "import/ImportNotes.h"

#include "base/Text.h"

#include <string>

namespace rig {

void ImportNotes::add(std::string note) {
    if (notes_.size() < kShown) {
        notes_.push_back(std::move(note));
    } else {
        ++more_;
    }
}

void ImportNotes::append(const ImportNotes& other, std::string_view prefix) {
    for (const std::string& note : other.notes_) add(std::string(prefix) + note);
    more_ += other.more_;
}

std::vector<std::string> ImportNotes::lines() const {
    std::vector<std::string> out = notes_;
    if (more_ > 0) out.push_back("… and " + std::to_string(more_) + " more like these.");
    return out;
}

std::string ImportNotes::quoted(std::string_view text) {
    // A piece of a file is shown as it is, whatever directions its letters take.
    return "\"" + bidiIsolated(messagePiece(text)) + "\"";
}

std::string ImportNotes::codePoint(char32_t c) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string digits;
    for (; c > 0 || digits.size() < 4; c >>= 4) digits.insert(digits.begin(), hex[c & 15]);
    return "U+" + digits;
}

} // namespace rig
