// What our writer does to the file as a file: a symbolic link stays a link to the updated file,
// permissions, owner and hard links are kept, and a place that cannot be written keeps its old
// file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/profile_file.h"
#include "profile_test_support.h"

namespace flanger::platform {
namespace {

using test::ReadBytes;
using test::ScratchDirectory;
using test::WriteBytes;

constexpr std::string_view kOld = "[A]\nK=old\n";
constexpr std::string_view kNew = "[A]\nK=new\n";

std::string LinkText(const std::string& path) {
    char text[4096];
    const ssize_t length = readlink(path.c_str(), text, sizeof text);
    return length < 0 ? std::string() : std::string(text, static_cast<std::size_t>(length));
}

struct LinkCase {
    const char* What;
    std::vector<std::pair<const char*, const char*>> Links;  // name -> link text, in scratch
    const char* Target;  // the regular file at the end, in scratch
    bool TargetExists;
};

TEST(ProfileFileSafetyTest, ALinkStaysALinkToTheUpdatedFile) {
    const std::vector<LinkCase> cases = {
        {"relative link", {{"presets.ini", "real/target.ini"}}, "real/target.ini", true},
        {"link to a link",
         {{"presets.ini", "middle.ini"}, {"middle.ini", "real/target.ini"}},
         "real/target.ini",
         true},
        {"link relative to its own directory",
         {{"presets.ini", "links/to.ini"}, {"links/to.ini", "../real/target.ini"}},
         "real/target.ini",
         true},
        {"dangling link: its target is created",
         {{"presets.ini", "real/new.ini"}},
         "real/new.ini",
         false},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.What);
        ScratchDirectory scratch;
        mkdir((scratch / "real").c_str(), 0755);
        mkdir((scratch / "links").c_str(), 0755);
        if (c.TargetExists) WriteBytes(scratch / c.Target, kOld);
        for (const auto& [name, text] : c.Links) {
            ASSERT_EQ(symlink(text, (scratch / name).c_str()), 0);
        }
        const std::vector<std::string> entriesBefore = scratch.Entries();

        ASSERT_TRUE(WriteProfileString("A", "K", "new", (scratch / "presets.ini").c_str()));

        EXPECT_EQ(ReadBytes(scratch / c.Target), kNew);
        for (const auto& [name, text] : c.Links) {
            struct stat status {};
            ASSERT_EQ(lstat((scratch / name).c_str(), &status), 0);
            EXPECT_TRUE(S_ISLNK(status.st_mode)) << name << " is no longer a link";
            EXPECT_EQ(LinkText(scratch / name), text);
        }
        EXPECT_EQ(scratch.Entries(), entriesBefore);
        EXPECT_EQ(scratch.Entries("real"),
                  std::vector<std::string>{std::string(c.Target).substr(sizeof "real")});
    }
}

// The temporary's name is built from the file's, which must not push it past the 255 bytes a
// directory entry holds.
TEST(ProfileFileSafetyTest, AFileNameOfTheLongestLengthSaves) {
    ScratchDirectory scratch;
    const std::string name(255, 'p');
    const std::string path = scratch / name;
    EXPECT_TRUE(WriteProfileString("A", "K", "old", path.c_str()));
    EXPECT_TRUE(WriteProfileString("A", "K", "new", path.c_str()));
    EXPECT_EQ(ReadBytes(path), kNew);
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{name});
}

struct ModeCase {
    std::optional<mode_t> Existing;  // the file's mode before the write; none for a new file
    mode_t Umask;
    mode_t Expected;
};

TEST(ProfileFileSafetyTest, PermissionsAreKept) {
    const ModeCase cases[] = {
        {0600, 022, 0600},       {0640, 077, 0640},         {0604, 0, 0604},
        {0755, 022, 0755},       {std::nullopt, 022, 0644}, {std::nullopt, 027, 0640},
        {std::nullopt, 0, 0666},
    };
    const mode_t savedUmask = umask(022);
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << std::oct << "mode " << c.Existing.value_or(0) << " umask " << c.Umask);
        ScratchDirectory scratch;
        const std::string path = scratch / "presets.ini";
        if (c.Existing) {
            WriteBytes(path, kOld);
            chmod(path.c_str(), *c.Existing);
        }
        umask(c.Umask);
        const bool written = WriteProfileString("A", "K", "new", path.c_str());
        umask(022);
        EXPECT_TRUE(written);
        struct stat status {};
        ASSERT_EQ(stat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, c.Expected) << std::oct << (status.st_mode & 07777);
    }
    umask(savedUmask);
}

TEST(ProfileFileSafetyTest, AnotherUsersFileKeepsItsOwner) {
    if (geteuid() != 0) GTEST_SKIP() << "only a privileged user can save another user's file";
    ScratchDirectory scratch;
    const std::string path = scratch / "presets.ini";
    WriteBytes(path, kOld);
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    ASSERT_TRUE(WriteProfileString("A", "K", "new", path.c_str()));
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 65534u);
    EXPECT_EQ(status.st_gid, 65534u);
    EXPECT_EQ(ReadBytes(path), kNew);
}

struct PlaceCase {
    const char* What;
    const char* Path;  // in scratch, see the layout below
    bool Writable;
};

// Runs as a user without privileges, so that permission bits apply also when the tests run as
// root. The layout: rw/ (0777) holds presets.ini (0666, the test's), mine.ini (0666, the
// writer's, also named twin.ini), readonly.ini (0444) and dir/; ro/ (0555) holds presets.ini
// (0666). A file is written wherever the writer may write it, in place where a new file renamed
// over it would change more than its bytes: its other names keep showing it, its owner stays.
TEST(ProfileFileSafetyTest, AFileIsWrittenWhereverItMayBeAndAnUnwritablePlaceKeepsTheOldFile) {
    const PlaceCase cases[] = {
        {"another user's file in a writable directory", "rw/presets.ini", true},
        {"new file in a writable directory", "rw/new.ini", true},
        {"the writer's file with a second name", "rw/mine.ini", true},
        {"writable file in a read-only directory", "ro/presets.ini", true},
        {"new file in a read-only directory", "ro/new.ini", false},
        {"read-only file", "rw/readonly.ini", false},
        {"missing directory", "none/presets.ini", false},
        {"a directory", "rw/dir", false},
        {"below a regular file", "rw/presets.ini/x.ini", false},
    };
    const char* const existing[] = {"rw/presets.ini", "rw/mine.ini", "rw/readonly.ini",
                                    "ro/presets.ini"};
    for (const PlaceCase& c : cases) {
        SCOPED_TRACE(c.What);
        ScratchDirectory scratch;
        chmod(scratch.Path().c_str(), 0755);
        mkdir((scratch / "rw").c_str(), 0777);
        mkdir((scratch / "ro").c_str(), 0777);
        mkdir((scratch / "rw/dir").c_str(), 0777);
        for (const char* name : existing) WriteBytes(scratch / name, kOld);
        ASSERT_EQ(link((scratch / "rw/mine.ini").c_str(), (scratch / "rw/twin.ini").c_str()), 0);
        ASSERT_EQ(chown((scratch / "rw/mine.ini").c_str(), test::UnprivilegedUser(),
                        static_cast<gid_t>(-1)),
                  0);
        chmod((scratch / "rw").c_str(), 0777);  // past the umask
        chmod((scratch / "rw/presets.ini").c_str(), 0666);
        chmod((scratch / "rw/mine.ini").c_str(), 0666);
        chmod((scratch / "ro/presets.ini").c_str(), 0666);
        chmod((scratch / "rw/readonly.ini").c_str(), 0444);
        chmod((scratch / "ro").c_str(), 0555);
        const std::vector<std::string> rwBefore = scratch.Entries("rw");
        const std::vector<std::string> roBefore = scratch.Entries("ro");

        const std::string path = scratch / c.Path;
        struct stat before {};
        const bool existed = stat(path.c_str(), &before) == 0;
        const std::optional<bool> written = test::RunUnprivileged(
            [&] { return WriteProfileString("A", "K", "new", path.c_str()); });
        ASSERT_TRUE(written.has_value()) << "the writing child did not run";
        EXPECT_EQ(*written, c.Writable);
        chmod((scratch / "ro").c_str(), 0755);  // so that the scratch directory can go

        if (c.Writable) {
            EXPECT_EQ(ReadBytes(path), kNew);
            EXPECT_EQ(ReadBytes(scratch / "rw/twin.ini"), ReadBytes(scratch / "rw/mine.ini"));
            struct stat after {};
            ASSERT_EQ(stat(path.c_str(), &after), 0);
            EXPECT_EQ(after.st_uid, existed ? before.st_uid : test::UnprivilegedUser());
            continue;
        }
        for (const char* name : existing) EXPECT_EQ(ReadBytes(scratch / name), kOld) << name;
        EXPECT_EQ(scratch.Entries("rw"), rwBefore);
        EXPECT_EQ(scratch.Entries("ro"), roBefore);
    }
}

}  // namespace
}  // namespace flanger::platform
