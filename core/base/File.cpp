#include "base/File.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace rig {

namespace {
[[noreturn]] void throwErrno() {
    throw std::system_error(errno, std::generic_category());
}

// An import of several files shows this message alone, so it names the file.
[[noreturn]] void throwReadError(int err, const std::filesystem::path& path) {
    throw std::system_error(err, std::generic_category(), "Cannot read " + fileNameOf(path));
}

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};
} // namespace

std::string readFile(const std::filesystem::path& path) {
    Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0) throwReadError(errno, path);
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) throwReadError(errno, path);
    if (S_ISDIR(st.st_mode)) throwReadError(EISDIR, path);
    std::string out;
    if (st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(f.fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwReadError(errno, path);
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::path tmp = path;
    tmp += ".tmp-" + std::to_string(::getpid());
    {
        Fd f{::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
        if (f.fd < 0) throwErrno();
        const char* p = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            ssize_t n = ::write(f.fd, p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                int err = errno;
                ::unlink(tmp.c_str());
                throw std::system_error(err, std::generic_category());
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        if (::fsync(f.fd) != 0) {
            int err = errno;
            ::unlink(tmp.c_str());
            throw std::system_error(err, std::generic_category());
        }
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throw std::system_error(err, std::generic_category());
    }
}

std::string fileNameOf(const std::filesystem::path& path) {
    // A trailing separator still names the last component: "/a/Show/" is "Show".
    if (!path.has_filename() && path.has_relative_path()) return path.parent_path().filename().string();
    return path.filename().string();
}

} // namespace rig
