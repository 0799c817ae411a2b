// What a reader skipped while reading a file, in words for the import's messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rig {

class ImportNotes {
public:
    void add(std::string note);
    // Makes the note only when it is shown: past the first ten it is only counted, which a
    // file of millions of damaged lines needs.
    template <class MakeNote>
    void addMade(MakeNote&& make) {
        if (notes_.size() < kShown) {
            notes_.push_back(make());
        } else {
            ++more_;
        }
    }
    // Adds the notes of another read, each after `prefix`; the ones it only counted are
    // counted here too, so that the last line gives the real number left out.
    void append(const ImportNotes& other, std::string_view prefix = {});
    bool empty() const { return notes_.empty(); }
    // The notes in the order they came: the first ten, then one line with how many more
    // there were (a damaged file can give thousands).
    std::vector<std::string> lines() const;

    // A piece of the file for a note: in double quotes, cut after 60 characters, isolated
    // from the text around it.
    static std::string quoted(std::string_view text);
    // A character by its number, as "U+2028".
    static std::string codePoint(char32_t c);

private:
    static constexpr std::size_t kShown = 10;
    std::vector<std::string> notes_;
    std::size_t more_ = 0;
};

} // namespace rig
