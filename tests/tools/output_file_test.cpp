// Where OUT really is (the end of its link chain) and when two names are one file; the
// temporary file's permissions, its removal when not committed, and the removal of those that
// killed writers left.
#include "output_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "scratch_directory.h"

namespace flanger::tool {
namespace {

using test::ReadBytes;
using test::ScratchDirectory;
using test::WriteBytes;

struct ResolveCase {
    const char* name;
    std::function<void(const ScratchDirectory&)> setup;
    const char* out;             // inside the scratch directory
    const char* expectedTarget;  // inside the scratch directory; null: refused
};

TEST(OutputFileTest, FollowsLinkChainsToTheFileToReplace) {
    const ResolveCase cases[] = {
        {"plain file", [](const auto& d) { WriteBytes(d / "a.wav", "x"); }, "a.wav", "a.wav"},
        {"not there yet", [](const auto&) {}, "new.wav", "new.wav"},
        {"relative link",
         [](const auto& d) {
             WriteBytes(d / "a.wav", "x");
             ASSERT_EQ(symlink("a.wav", (d / "l.wav").c_str()), 0);
         },
         "l.wav", "a.wav"},
        {"relative to the link's own directory",
         [](const auto& d) {
             ASSERT_EQ(mkdir((d / "sub").c_str(), 0777), 0);
             WriteBytes(d / "sub/a.wav", "x");
             ASSERT_EQ(symlink("a.wav", (d / "sub/l.wav").c_str()), 0);
             ASSERT_EQ(symlink("sub/l.wav", (d / "l2.wav").c_str()), 0);
         },
         "l2.wav", "sub/a.wav"},
        {"dangling link names the file to create",
         [](const auto& d) { ASSERT_EQ(symlink("later.wav", (d / "l.wav").c_str()), 0); }, "l.wav",
         "later.wav"},
        {"endless loop",
         [](const auto& d) {
             ASSERT_EQ(symlink("b.wav", (d / "a.wav").c_str()), 0);
             ASSERT_EQ(symlink("a.wav", (d / "b.wav").c_str()), 0);
         },
         "a.wav", nullptr},
    };
    for (const ResolveCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDirectory directory;
        c.setup(directory);
        std::string error;
        const std::optional<std::string> target = ResolveOutputTarget(directory / c.out, error);
        if (c.expectedTarget == nullptr) {
            EXPECT_FALSE(target);
            EXPECT_NE(error.find("too many levels"), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(target) << error;
        // The name must be the file itself, not a link that merely leads there: renaming over
        // a link would replace the link.
        WriteBytes(*target, "resolved");
        struct stat status {};
        ASSERT_EQ(lstat(target->c_str(), &status), 0) << *target;
        EXPECT_FALSE(S_ISLNK(status.st_mode)) << *target;
        EXPECT_EQ(ReadBytes(directory / c.expectedTarget), "resolved") << *target;
    }
}

TEST(OutputFileTest, SameFileComparesIdentityNotSpelling) {
    const ScratchDirectory d;
    WriteBytes(d / "a.wav", "x");
    WriteBytes(d / "b.wav", "x");
    ASSERT_EQ(mkdir((d / "sub").c_str(), 0777), 0);
    ASSERT_EQ(symlink("a.wav", (d / "link.wav").c_str()), 0);
    ASSERT_EQ(link((d / "a.wav").c_str(), (d / "hard.wav").c_str()), 0);
    struct Case {
        std::string first;
        std::string second;
        bool same;
    };
    const Case cases[] = {
        {d / "a.wav", d / "a.wav", true},        {d / "a.wav", d / "sub/../a.wav", true},
        {d / "a.wav", d / "link.wav", true},     {d / "a.wav", d / "hard.wav", true},
        {d / "a.wav", d / "b.wav", false},  // equal bytes are not the same file
        {d / "a.wav", d / "missing.wav", false}, {d / "missing.wav", d / "missing.wav", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SameFile(c.first, c.second), c.same) << c.first << " vs " << c.second;
    }
}

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

TEST(OutputFileTest, TemporaryFileGetsTheResultsPermissionsAndVanishesUnlessCommitted) {
    const ScratchDirectory d;
    WriteBytes(d / "old.wav", "old");
    ASSERT_EQ(chmod((d / "old.wav").c_str(), 0604), 0);
    const mode_t saved = umask(027);
    struct Case {
        std::string target;
        mode_t mode;
    };
    // 0604 is kept although the umask would forbid it; a new file gets 0666 less the umask.
    const Case cases[] = {{d / "old.wav", 0604}, {d / "new.wav", 0640}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        std::string error;
        const std::vector<std::string> before = d.Entries();
        {
            const auto output = PendingOutput::Create(c.target, error);
            ASSERT_TRUE(output) << error;
            EXPECT_EQ(ModeOf(output->TemporaryPath()), c.mode);
            ASSERT_EQ(write(output->Descriptor(), "abandoned", 9), 9);
        }
        EXPECT_EQ(d.Entries(), before) << "the abandoned temporary file is left";
        const auto output = PendingOutput::Create(c.target, error);
        ASSERT_TRUE(output) << error;
        ASSERT_EQ(write(output->Descriptor(), "new", 3), 3);
        ASSERT_TRUE(output->Commit(error)) << error;
        EXPECT_EQ(ReadBytes(c.target), "new");
        EXPECT_EQ(ModeOf(c.target), c.mode);
    }
    umask(saved);
    EXPECT_EQ(d.Entries(), (std::vector<std::string>{"new.wav", "old.wav"}));
}

// Temporaries that writers killed outright left beside OUT go when the next writer of OUT
// starts; those of live writers, of other outputs and everything else stay.
TEST(OutputFileTest, AWriterRemovesTheTemporariesThatDeadWritersOfItsTargetLeft) {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string gone = ".out.wav.flanger-" + std::to_string(child);
    const struct {
        std::string name;
        bool removed;
    } cases[] = {
        {gone + "-a1B2c3", true},
        {".out.wav.flanger-" + std::to_string(getpid()) + "-a1B2c3", false},  // its writer runs
        {gone + "-locked", false},                                            // held (below)
        {".out.wav.flanger-a1B2c3", false},                                   // no writer recorded
        {gone + "-a1B2c", false},
        {gone + "-a1B2c3.wav", false},
        {".other.wav.flanger-" + std::to_string(child) + "-a1B2c3", false},
    };
    const ScratchDirectory d;
    // Only regular files are ours.
    ASSERT_EQ(symlink(cases[0].name.c_str(), (d / (gone + "-link01")).c_str()), 0);
    ASSERT_EQ(mkdir((d / (gone + "-dir001")).c_str(), 0700), 0);
    std::vector<std::string> kept = {gone + "-dir001", gone + "-link01"};
    for (const auto& c : cases) {
        WriteBytes(d / c.name, "partial audio");
        if (!c.removed) kept.push_back(c.name);
    }
    const int lock = open((d / (gone + "-locked")).c_str(), O_RDONLY);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    std::string error;
    const auto output = PendingOutput::Create(d / "out.wav", error);
    ASSERT_TRUE(output) << error;
    close(lock);
    kept.push_back(output->TemporaryPath().substr(d.Path().size() + 1));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(d.Entries(), kept);
}

}  // namespace
}  // namespace flanger::tool
