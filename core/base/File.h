// Whole-file reading and writing. Failures throw std::system_error carrying the system's
// error code; a read failure's what() also names the file, for example
// "Cannot read plan.csv: No such file or directory". A file refused before it is read
// throws FileRefused.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rig {

// A file that is not read at all: a pipe, device or socket (a read could wait forever or
// never end), or a regular file larger than its reader takes. what() names the file:
// "plan.csv is not a regular file.", "plan.csv is larger than 64 MB."
class FileRefused : public std::runtime_error {
public:
    enum class Reason { notRegular, tooLarge };

    static FileRefused notRegular(const std::filesystem::path& path);
    static FileRefused tooLarge(const std::filesystem::path& path, std::uint64_t maxBytes);

    Reason reason() const { return reason_; }

private:
    FileRefused(Reason reason, const std::string& message) : std::runtime_error(message), reason_(reason) {}
    Reason reason_;
};

// An open file descriptor, closed with the object.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    FileHandle(FileHandle&& other) noexcept : fd_(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    ~FileHandle();

    int fd() const { return fd_; }
    // Hands the descriptor over; the handle no longer closes it.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

// What tells one state of a file from another: a file replaced (renamed over) or rewritten in
// place gets another stamp. `exists` is false for a path that names nothing.
struct FileStamp {
    bool exists = false;
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedSeconds = 0, modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of what `path` names now (through symbolic links); nothing there: exists false.
FileStamp fileStamp(const std::filesystem::path& path);

// Opens a regular file of at most `maxBytes` for reading. A pipe is never waited on: the
// path is looked at before it is opened, and opened without waiting, so a pipe swapped in
// meanwhile is refused as well. Throws FileRefused, or std::system_error as readFile does
// (a folder gives "Is a directory").
FileHandle openRegularFile(const std::filesystem::path& path, std::uint64_t maxBytes);
// The whole content of a regular file of at most `maxBytes`, as openRegularFile opens it;
// `stamp`, when given, receives the stamp of the file that was read.
std::string readFile(const std::filesystem::path& path, std::uint64_t maxBytes, FileStamp* stamp = nullptr);

// Writes through a temporary file in the same folder and renames it over the target,
// so a failed write never leaves a half-written file behind; a name as long as the folder
// takes still has a temporary that fits. A symbolic link is written through: its target gets
// the new content and the link stays. An existing file keeps its
// permissions (and its owner and group as far as the system allows); the folder is synced
// after the rename. Afterwards, temporaries of files of the same extension whose writing
// process is gone (killed midway) are removed from that folder. A folder in the way fails
// with "Is a directory"; a device, pipe or socket throws FileRefused.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);
// As writeFileAtomically, for a file other programs write too: the new content takes the
// place only of the file stamped `expected` (when it was read), and false, with nothing
// changed, when another writer replaced or changed it since; the caller reads it again. Where
// the system can swap two files atomically, what was swapped out is checked as well, and put
// back when it was not the file expected.
bool replaceFileIfUnchanged(const std::filesystem::path& path, std::string_view bytes,
                            const FileStamp& expected);
// Removes from the folder of `file` the temporaries of files of its extension that a write
// killed midway left (their process is gone); the writes above do so after each write.
void removeStaleTemporaries(const std::filesystem::path& file);
// Moves a file that cannot be used out of the way, beside itself, before anything replaces it:
// to "<name>.unreadable", or when that is taken "<name>.unreadable-<UTC time>" (then "-2", "-3"
// …). Gives the new path; throws std::system_error when it cannot be moved.
std::filesystem::path keepAside(const std::filesystem::path& path);
// "<prefix><this process's id>-": the start of the name of a folder that only this process uses.
std::string processFolderName(std::string_view prefix);
// Removes, with their content, the folders in `folder` named by processFolderName(prefix) whose
// process has ended and that belong to this user. A running process keeps its folders.
void removeFoldersOfEndedProcesses(const std::filesystem::path& folder, std::string_view prefix);
// The last component of a path (file name with extension), as UTF-8.
std::string fileNameOf(const std::filesystem::path& path);

} // namespace rig
