// Reading and writing whole files where the file is not what it seems: pipes, devices,
// links, kept permissions and the debris of writes killed midway.
#include "base/File.h"

#include "support/SpecialFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

using namespace rig;
namespace fs = std::filesystem;

namespace {

constexpr const char* killedWriteVariable = "RIG_TEST_KILLED_WRITE";

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

std::string refusal(const fs::path& path, std::uint64_t maxBytes) {
    return test::refusalOf([&] { readFile(path, maxBytes); });
}

} // namespace

TEST(File, ReadsOnlyRegularFilesUpToTheirLimit) {
    test::TempDir dir;
    test::TestFifo fifo(dir.path() / "show.qvrig");
    fs::create_symlink("/dev/null", dir.path() / "null.qvrig");
    fs::create_symlink("/dev/zero", dir.path() / "zero.csv");
    const fs::path big = test::sparseFile(dir.path() / "big.csv", 64'000'001);
    const fs::path full = test::sparseFile(dir.path() / "full.csv", 64'000'000);

    EXPECT_EQ(refusal(fifo.path(), 1000), "show.qvrig is not a regular file.");
    EXPECT_FALSE(fifo.wasOpened()); // looked at, never opened: opening waits for a writer
    EXPECT_EQ(refusal(dir.path() / "null.qvrig", 1000), "null.qvrig is not a regular file.");
    EXPECT_EQ(refusal(dir.path() / "zero.csv", 1000), "zero.csv is not a regular file.");
    EXPECT_EQ(refusal(big, 64'000'000), "big.csv is larger than 64 MB.");
    EXPECT_EQ(readFile(full, 64'000'000).size(), 64'000'000u);
    EXPECT_EQ(refusal(full, 63'000'000), "full.csv is larger than 63 MB.");
    // A link to a regular file is read as that file.
    fs::create_symlink("full.csv", dir.path() / "link.csv");
    EXPECT_EQ(readFile(dir.path() / "link.csv", 64'000'000).size(), 64'000'000u);
    // Not found and folders keep the system's reason.
    EXPECT_THROW(readFile(dir.path() / "none.csv", 1000), std::system_error);
    EXPECT_THROW(readFile(dir.path(), 1000), std::system_error);
}

// A list other programs write too: replaced only while it is the file that was read.
TEST(File, ReplacesOnlyTheFileThatWasRead) {
    test::TempDir dir;
    const fs::path list = dir.write("list.xbel", "first");
    FileStamp read;
    ASSERT_EQ(readFile(list, 100, &read), "first");
    EXPECT_EQ(read, fileStamp(list));
    // Another writer renames its file over the list, of the very same size.
    const fs::path theirs = dir.write("theirs", "other");
    fs::rename(theirs, list);
    EXPECT_FALSE(replaceFileIfUnchanged(list, "mine", read));
    EXPECT_EQ(readFile(list, 100, &read), "other");
    EXPECT_TRUE(replaceFileIfUnchanged(list, "mine", read));
    EXPECT_EQ(readFile(list, 100), "mine");
    // Through a link, to its target.
    fs::create_symlink("list.xbel", dir.path() / "link.xbel");
    ASSERT_EQ(readFile(dir.path() / "link.xbel", 100, &read), "mine");
    EXPECT_TRUE(replaceFileIfUnchanged(dir.path() / "link.xbel", "again", read));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.xbel"));
    EXPECT_EQ(readFile(list, 100), "again");
    // A list that was missing when read and has been made since.
    const FileStamp none = fileStamp(dir.path() / "new.xbel");
    EXPECT_FALSE(none.exists);
    dir.write("new.xbel", "made meanwhile");
    EXPECT_FALSE(replaceFileIfUnchanged(dir.path() / "new.xbel", "mine", none));
    EXPECT_EQ(readFile(dir.path() / "new.xbel", 100), "made meanwhile");
    EXPECT_TRUE(replaceFileIfUnchanged(dir.path() / "other.xbel", "mine", none));
    EXPECT_EQ(readFile(dir.path() / "other.xbel", 100), "mine");
    // No temporary stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4);
}

TEST(File, WritesThroughLinksAndKeepsPermissions) {
    test::TempDir dir;
    fs::create_directory(dir.path() / "shows");
    const fs::path target = dir.write("shows/arena.qvrig", "old");
    ::chmod(target.c_str(), 0600);
    // A relative link from another folder, and a link to that link.
    fs::create_symlink("shows/arena.qvrig", dir.path() / "arena.qvrig");
    fs::create_symlink(dir.path() / "arena.qvrig", dir.path() / "latest.qvrig");

    writeFileAtomically(dir.path() / "latest.qvrig", "new");
    EXPECT_EQ(fs::read_symlink(dir.path() / "latest.qvrig"), dir.path() / "arena.qvrig");
    EXPECT_EQ(fs::read_symlink(dir.path() / "arena.qvrig"), "shows/arena.qvrig");
    EXPECT_EQ(readFile(target, 100), "new");
    EXPECT_EQ(modeOf(target), 0600u);

    ::chmod(target.c_str(), 0640);
    writeFileAtomically(dir.path() / "arena.qvrig", "newer");
    EXPECT_EQ(readFile(target, 100), "newer");
    EXPECT_EQ(modeOf(target), 0640u);

    // A link whose target is not there yet makes it, and stays a link.
    fs::create_symlink("shows/next.qvrig", dir.path() / "next.qvrig");
    writeFileAtomically(dir.path() / "next.qvrig", "first");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "next.qvrig"));
    EXPECT_EQ(readFile(dir.path() / "shows/next.qvrig", 100), "first");

    // Names as long as the folder takes, with or without an extension, have temporaries too.
    std::string accents;
    for (int i = 0; i < 125; ++i) accents += "\u00e9";
    for (const std::string& name : {std::string(255, 'y'), accents + ".pdf"}) {
        writeFileAtomically(dir.path() / name, "long");
        EXPECT_EQ(readFile(dir.path() / name, 100), "long") << name.size();
    }

    // A new file gets what the user's file mask leaves.
    const mode_t mask = ::umask(027);
    writeFileAtomically(dir.path() / "fresh.qvrig", "x");
    ::umask(mask);
    EXPECT_EQ(modeOf(dir.path() / "fresh.qvrig"), 0640u);

    // The owner stays where the system lets the writer keep it.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(target.c_str(), 4242, 4343), 0);
        writeFileAtomically(target, "owned");
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 4242u);
        EXPECT_EQ(st.st_gid, 4343u);
    }

    // Never a file in place of a device or a pipe.
    fs::create_symlink("/dev/null", dir.path() / "null.qvrig");
    EXPECT_THROW(writeFileAtomically(dir.path() / "null.qvrig", "x"), FileRefused);
    test::TestFifo fifo(dir.path() / "pipe.qvrig");
    EXPECT_THROW(writeFileAtomically(fifo.path(), "x"), FileRefused);
    EXPECT_TRUE(fs::is_fifo(fifo.path()));
    EXPECT_FALSE(fs::exists(dir.path() / ("pipe.qvrig.tmp-" + std::to_string(::getpid()))));
}

// Runs in a child process: a write stopped by the file size limit, as by a kill midway.
TEST(FileKilledWrite, Child) {
    const char* target = std::getenv(killedWriteVariable);
    if (target == nullptr) GTEST_SKIP() << "started by File.AWriteKilledMidwayIsCleanedLater";
    const rlimit noCore{0, 0};
    const rlimit smallFiles{1 << 16, 1 << 16};
    ::setrlimit(RLIMIT_CORE, &noCore);
    ::setrlimit(RLIMIT_FSIZE, &smallFiles);
    writeFileAtomically(target, std::string(1 << 20, 'x'));
    FAIL() << "the write was not stopped";
}

TEST(File, AWriteKilledMidwayIsCleanedLater) {
    test::TempDir dir;
    // As long a name as the folder takes: its temporary is named otherwise.
    const fs::path show = dir.write(std::string(249, 's') + ".qvrig", "old");

    const std::string variable = std::string(killedWriteVariable) + "=" + show.string();
    std::vector<char*> env{const_cast<char*>(variable.c_str())};
    for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);
    env.push_back(nullptr);
    std::string filter = "--gtest_filter=FileKilledWrite.Child";
    char self[] = "/proc/self/exe";
    char* argv[] = {self, filter.data(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, self, nullptr, nullptr, argv, env.data()), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;

    fs::path debris;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path()))
        if (entry.path() != show) debris = entry.path();
    ASSERT_TRUE(debris.filename().string().ends_with(".qvrig.tmp-" + std::to_string(child))) << debris;
    EXPECT_EQ(fs::file_size(debris), 1u << 16);
    EXPECT_EQ(readFile(show, 100), "old");

    // A writer still at work keeps its temporary; so do other kinds of files.
    const fs::path live = dir.write("other.qvrig.tmp-" + std::to_string(::getppid()), "busy");
    const fs::path notes = dir.write("notes.txt.tmp-" + std::to_string(child), "notes");
    const fs::path own = dir.write("show.qvrig.tmp-" + std::to_string(::getpid()) + "x", "not one");

    writeFileAtomically(dir.path() / "second.qvrig", "new");
    EXPECT_FALSE(fs::exists(debris));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(notes));
    EXPECT_TRUE(fs::exists(own));
    EXPECT_EQ(readFile(show, 100), "old");
}
