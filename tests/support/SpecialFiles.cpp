#include "support/SpecialFiles.h"

#include "base/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace rig::test {

TestFifo::TestFifo(std::filesystem::path path) : path_(std::move(path)) {
    if (::mkfifo(path_.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
    // Opening for writing waits until a reader comes; closing then ends that reader's read.
    writer_ = std::thread([this] {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
        if (!ending_) opened_ = true;
        if (fd >= 0) ::close(fd);
    });
}

TestFifo::~TestFifo() {
    ending_ = true;
    // A reader of our own lets the waiting writer go.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    writer_.join();
    if (fd >= 0) ::close(fd);
}

std::filesystem::path sparseFile(const std::filesystem::path& path, std::uint64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path.string());
    const bool sized = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    ::close(fd);
    if (!sized) throw std::runtime_error("cannot size " + path.string());
    return path;
}

pid_t endedProcessId() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    if (pid < 0) throw std::runtime_error("fork failed");
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

std::string refusalOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const FileRefused& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("other error: ") + e.what();
    }
    return "read";
}

} // namespace rig::test
