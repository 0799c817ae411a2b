// Files that are not plain files, for tests of the code that must refuse them.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace rig::test {

// A named pipe. Code that opens it for reading would wait for a writer for good: the pipe
// lets such a reader go at once with an empty read, so that the test fails instead of
// hanging, and tells whether anyone opened it.
class TestFifo {
public:
    explicit TestFifo(std::filesystem::path path);
    ~TestFifo();
    TestFifo(const TestFifo&) = delete;
    TestFifo& operator=(const TestFifo&) = delete;

    const std::filesystem::path& path() const { return path_; }
    bool wasOpened() const { return opened_; }

private:
    std::filesystem::path path_;
    std::atomic<bool> opened_{false};
    std::atomic<bool> ending_{false};
    std::thread writer_;
};

// A file of `size` bytes that takes no room on the disk (all zeros).
std::filesystem::path sparseFile(const std::filesystem::path& path, std::uint64_t size);

// What a read refused with: the refusal's text, "other error: …" for any other failure, or
// "read" when it was not refused at all.
std::string refusalOf(const std::function<void()>& read);

// The id of a process that has ended: debris named after it belongs to no one.
pid_t endedProcessId();

} // namespace rig::test
