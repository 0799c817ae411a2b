#include "base/File.h"

#include "base/Date.h"
#include "base/Number.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace rig {

namespace {
[[noreturn]] void throwErrno(int err = errno) {
    throw std::system_error(err, std::generic_category());
}

// An import of several files shows this message alone, so it names the file.
[[noreturn]] void throwReadError(int err, const std::filesystem::path& path) {
    throw std::system_error(err, std::generic_category(), "Cannot read " + fileNameOf(path));
}

// Refuses what must not be read: folders with the system's own error, other things that
// are no regular file, and files above the limit.
void checkReadable(const struct stat& st, const std::filesystem::path& path, std::uint64_t maxBytes) {
    if (S_ISDIR(st.st_mode)) throwReadError(EISDIR, path);
    if (!S_ISREG(st.st_mode)) throw FileRefused::notRegular(path);
    if (st.st_size > 0 && static_cast<std::uint64_t>(st.st_size) > maxBytes)
        throw FileRefused::tooLarge(path, maxBytes);
}

// Where a write to `path` goes: the end of the chain of symbolic links starting there, which
// may not exist yet. Saving through a link must not replace the link by a file.
std::filesystem::path writeTarget(const std::filesystem::path& path) {
    std::filesystem::path p = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        if (hops == 40) throwErrno(ELOOP);
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(p, error);
        if (error) throw std::system_error(error);
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
}

FileStamp stampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.exists = true;
    stamp.device = static_cast<std::uint64_t>(st.st_dev);
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modifiedSeconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    stamp.modifiedNanoseconds = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return stamp;
}

bool processIsGone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// The longest file name the folder of `file` takes, in bytes.
std::size_t nameLimit(const std::filesystem::path& file) {
    std::filesystem::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : 255;
}

// The start of `text` of at most `bytes` bytes, never inside a UTF-8 character.
std::string cutUtf8(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
    return text.substr(0, bytes);
}

// The temporary that `pid` writes `file` through: "<name>.tmp-<pid>" beside it. A name too long
// for that keeps its extension and as much of its start as fits, with a mark made from the whole
// name, so that two long names cut alike never share a temporary.
std::filesystem::path temporaryName(const std::filesystem::path& file, pid_t pid) {
    const std::string tag = ".tmp-" + std::to_string(pid);
    const std::string name = file.filename().string();
    const std::size_t limit = nameLimit(file);
    if (name.size() + tag.size() <= limit) return file.parent_path() / (name + tag);
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    static constexpr char digits[] = "0123456789abcdef";
    std::string mark = "~";
    for (int shift = 28; shift >= 0; shift -= 4) mark += digits[(hash >> shift) & 0xF];
    std::string extension = file.extension().string();
    if (extension.size() + mark.size() + tag.size() + 1 > limit) extension.clear();
    const std::string stem = name.substr(0, name.size() - extension.size());
    const std::size_t room = limit > extension.size() + mark.size() + tag.size()
                                 ? limit - extension.size() - mark.size() - tag.size()
                                 : 0;
    return file.parent_path() / (cutUtf8(stem, room) + mark + extension + tag);
}

// The process id in `name` when it is "<base>.tmp-<pid>", a temporary of a file with the
// extension of `file`; 0 otherwise.
pid_t temporaryOwner(const std::string& name, const std::filesystem::path& file) {
    static constexpr std::string_view marker = ".tmp-";
    const std::size_t at = name.rfind(marker);
    if (at == std::string::npos || at == 0) return 0;
    const std::string_view digits = std::string_view(name).substr(at + marker.size());
    if (digits.empty() || digits.size() > 9) return 0;
    pid_t pid = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        pid = pid * 10 + (c - '0');
    }
    const std::filesystem::path base = name.substr(0, at);
    const std::filesystem::path extension = file.extension();
    // Without an extension only the file's own temporaries are its kind.
    if (extension.empty() ? name != temporaryName(file, pid).filename().string()
                          : base.extension() != extension)
        return 0;
    return pid;
}

} // namespace

// Temporaries of writes killed midway would otherwise stay for good, each as large as its
// file. Only those whose process has ended go: a live one may be writing right now.
void removeStaleTemporaries(const std::filesystem::path& file) {
    std::filesystem::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    if (error) return;
    const pid_t self = ::getpid();
    for (const std::filesystem::directory_entry& entry : it) {
        const pid_t owner = temporaryOwner(entry.path().filename().string(), file);
        if (owner <= 0 || owner == self || !processIsGone(owner)) continue;
        if (!entry.is_regular_file(error) || entry.is_symlink(error)) continue;
        ::unlink(entry.path().c_str());
    }
}

namespace {

// A rename reaches the disk with its folder: without this a power cut could bring back the
// old file, or none.
void syncFolder(const std::filesystem::path& file) {
    std::filesystem::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    FileHandle dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd() < 0) return; // a folder that cannot be listed cannot be synced either
    // Some file systems cannot sync a folder at all (EINVAL); they are not asked twice.
    if (::fsync(dir.fd()) != 0 && errno != EINVAL) throwErrno();
}
} // namespace

FileRefused FileRefused::notRegular(const std::filesystem::path& path) {
    return FileRefused(Reason::notRegular, fileNameOf(path) + " is not a regular file.");
}

FileRefused FileRefused::tooLarge(const std::filesystem::path& path, std::uint64_t maxBytes) {
    const bool gigabytes = maxBytes >= 1'000'000'000 && maxBytes % 1'000'000'000 == 0;
    const std::uint64_t amount = gigabytes ? maxBytes / 1'000'000'000 : maxBytes / 1'000'000;
    return FileRefused(Reason::tooLarge, fileNameOf(path) + " is larger than " +
                                             integerText(static_cast<std::int64_t>(amount)) +
                                             (gigabytes ? " GB." : " MB."));
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

FileHandle::~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
}

FileHandle openRegularFile(const std::filesystem::path& path, std::uint64_t maxBytes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throwReadError(errno, path);
    checkReadable(st, path, maxBytes);
    // Not waiting for a writer: a pipe put in place since the look above is refused below.
    FileHandle f{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (f.fd() < 0) throwReadError(errno, path);
    if (::fstat(f.fd(), &st) != 0) throwReadError(errno, path);
    checkReadable(st, path, maxBytes);
    const int flags = ::fcntl(f.fd(), F_GETFL);
    if (flags < 0 || ::fcntl(f.fd(), F_SETFL, flags & ~O_NONBLOCK) != 0) throwReadError(errno, path);
    return f;
}

FileStamp fileStamp(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return stampOf(st);
}

std::string readFile(const std::filesystem::path& path, std::uint64_t maxBytes, FileStamp* stamp) {
    FileHandle f = openRegularFile(path, maxBytes);
    struct stat st {};
    if (::fstat(f.fd(), &st) != 0) throwReadError(errno, path);
    if (stamp) *stamp = stampOf(st);
    std::string out;
    if (st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(f.fd(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwReadError(errno, path);
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        // A file that grows while it is read still stops at the limit.
        if (out.size() > maxBytes) throw FileRefused::tooLarge(path, maxBytes);
    }
    return out;
}

namespace {

// The new content in a temporary beside `target`, with the permissions of the file it is to
// replace; its path.
std::filesystem::path writeTemporary(const std::filesystem::path& path, const std::filesystem::path& target,
                                     std::string_view bytes) {
    struct stat old {};
    const bool existing = ::stat(target.c_str(), &old) == 0;
    if (existing && S_ISDIR(old.st_mode)) throwErrno(EISDIR);
    // Renaming over a device or a pipe would replace it by a file.
    if (existing && !S_ISREG(old.st_mode)) throw FileRefused::notRegular(path);

    const std::filesystem::path tmp = temporaryName(target, ::getpid());
    // A new file gets the permissions the user's file mask leaves; an existing one its own.
    FileHandle f{
        ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, existing ? 0600 : 0666)};
    if (f.fd() < 0) throwErrno();
    auto fail = [&tmp](int err) {
        ::unlink(tmp.c_str());
        throwErrno(err);
    };
    if (existing) {
        // Owner first: changing it may clear set-id bits that the mode then restores.
        // Only the superuser may give a file away; a group of one's own is still kept.
        if (::fchown(f.fd(), old.st_uid, old.st_gid) != 0 &&
            ::fchown(f.fd(), static_cast<uid_t>(-1), old.st_gid) != 0) {
            // The file becomes the writer's own; its mode is still kept.
        }
        if (::fchmod(f.fd(), old.st_mode & 07777) != 0) fail(errno);
    }
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(f.fd(), p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(f.fd()) != 0) fail(errno);
    if (::close(f.release()) != 0) fail(errno);
    return tmp;
}

void renameInPlace(const std::filesystem::path& tmp, const std::filesystem::path& target) {
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throwErrno(err);
    }
}

} // namespace

void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    const std::filesystem::path target = writeTarget(path);
    renameInPlace(writeTemporary(path, target, bytes), target);
    syncFolder(target);
    removeStaleTemporaries(target);
}

bool replaceFileIfUnchanged(const std::filesystem::path& path, std::string_view bytes,
                            const FileStamp& expected) {
    const std::filesystem::path target = writeTarget(path);
    const std::filesystem::path tmp = writeTemporary(path, target, bytes);
    const auto giveUp = [&tmp] {
        ::unlink(tmp.c_str());
        return false;
    };
    // Another writer may get in between this look and the rename below: where the system can,
    // the two files are swapped instead, and the one swapped out is looked at once more.
    if (fileStamp(target) != expected) return giveUp();
    if (!expected.exists) {
        if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST) return giveUp();
            if (errno != EINVAL && errno != ENOSYS) {
                const int err = errno;
                giveUp();
                throwErrno(err);
            }
            renameInPlace(tmp, target);
        }
    } else if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        if (fileStamp(tmp) != expected) {
            // Another writer's file was swapped out: it goes back, this content goes.
            ::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE);
            return giveUp();
        }
        ::unlink(tmp.c_str());
    } else {
        if (errno == ENOENT) return giveUp(); // removed since the look
        if (errno != EINVAL && errno != ENOSYS) {
            const int err = errno;
            giveUp();
            throwErrno(err);
        }
        renameInPlace(tmp, target); // no swapping on this file system
    }
    syncFolder(target);
    removeStaleTemporaries(target);
    return true;
}

std::string processFolderName(std::string_view prefix) {
    return std::string(prefix) + std::to_string(::getpid()) + "-";
}

void removeFoldersOfEndedProcesses(const std::filesystem::path& folder, std::string_view prefix) {
    std::error_code error;
    std::vector<std::filesystem::path> ended;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::filesystem::path& path = it->path();
        const std::string name = path.filename().string();
        if (!name.starts_with(prefix)) continue;
        const std::size_t dash = name.find('-', prefix.size());
        const std::optional<std::int64_t> pid =
            dash == std::string::npos
                ? std::nullopt
                : parseInteger(std::string_view(name).substr(prefix.size(), dash - prefix.size()));
        if (!pid || *pid <= 0 || *pid > std::numeric_limits<pid_t>::max()) continue;
        if (static_cast<pid_t>(*pid) == ::getpid() || !processIsGone(static_cast<pid_t>(*pid))) continue;
        struct stat st {};
        // Never through a link, never another user's.
        if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
        ended.push_back(path);
    }
    for (const std::filesystem::path& path : ended) std::filesystem::remove_all(path, error);
}

std::filesystem::path keepAside(const std::filesystem::path& path) {
    std::filesystem::path aside = path;
    aside += ".unreadable";
    std::error_code error;
    const auto taken = [&error](const std::filesystem::path& p) {
        return std::filesystem::exists(std::filesystem::symlink_status(p, error));
    };
    if (taken(aside)) {
        // "2025-03-14T09:26:53Z" -> "20250314T092653Z"
        std::string stamp = formatISODate(nowSeconds());
        std::erase(stamp, '-');
        std::erase(stamp, ':');
        std::filesystem::path stamped = aside;
        stamped += "-" + stamp;
        aside = stamped;
        for (int n = 2; taken(aside); ++n) {
            aside = stamped;
            aside += "-" + std::to_string(n);
        }
    }
    if (::rename(path.c_str(), aside.c_str()) != 0) throwErrno();
    return aside;
}

std::string fileNameOf(const std::filesystem::path& path) {
    // A trailing separator still names the last component: "/a/Show/" is "Show".
    if (!path.has_filename() && path.has_relative_path()) return path.parent_path().filename().string();
    return path.filename().string();
}

} // namespace rig
