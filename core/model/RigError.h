#pragma once

#include <exception>
#include <stdexcept>
#include <stop_token>
#include <string>

namespace rig {

// The library's error: a file that cannot be read as a PDF or as text, or a PDF that is
// not a Soundvision report. what() is the message shown to the user.
class RigError : public std::runtime_error {
public:
    enum class Kind { unreadable, notSoundvision };

    static RigError unreadable(const std::string& fileName) {
        return RigError(Kind::unreadable, fileName, "Cannot read " + fileName + ".");
    }
    static RigError notSoundvision(const std::string& fileName) {
        return RigError(Kind::notSoundvision, fileName,
                        fileName + " does not look like a Soundvision report.");
    }

    Kind kind() const { return kind_; }
    const std::string& fileName() const { return fileName_; }
    std::string description() const { return what(); }

private:
    RigError(Kind kind, std::string fileName, const std::string& message)
        : std::runtime_error(message), kind_(kind), fileName_(std::move(fileName)) {}
    Kind kind_;
    std::string fileName_;
};

// Thrown by a reader or an import whose stop token was triggered; callers that stopped the
// work on purpose ignore it.
struct Cancelled : std::exception {
    const char* what() const noexcept override { return "Cancelled."; }
};

// Throws Cancelled once `stop` has been requested.
inline void throwIfCancelled(const std::stop_token& stop) {
    if (stop.stop_requested()) throw Cancelled();
}

} // namespace rig
