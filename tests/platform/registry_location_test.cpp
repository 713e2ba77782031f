// Where the registry's database lives, what the file looks like, and stores that cannot be
// made, written or read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "registry_test_support.h"

namespace flanger::platform::test {
namespace {

const RegistryKey kCurrentUser = FLANGER_HKEY_CURRENT_USER;

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

unsigned Mode(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0xFFFF;
}

std::string ParentOf(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

// Changes the working folder for one test.
class ScopedWorkingFolder {
public:
    explicit ScopedWorkingFolder(const std::string& folder) {
        EXPECT_NE(getcwd(Previous, sizeof Previous), nullptr);
        EXPECT_EQ(chdir(folder.c_str()), 0);
    }
    ~ScopedWorkingFolder() { static_cast<void>(chdir(Previous)); }

private:
    char Previous[4096] = {};
};

class RegistryLocationTest : public ::testing::Test {
protected:
    RegistryScratch Scratch;
};

TEST_F(RegistryLocationTest, TheDatabaseGoesWhereTheEnvironmentSays) {
    const std::string s = Scratch.Folder();
    ScopedWorkingFolder workingFolder(s);
    const struct {
        const char* label;
        std::string registry, xdg, home;  // "-" leaves the variable unset
        std::string expected;
    } cases[] = {
        {"override wins", s + "/a/custom/presets.db", s + "/a/xdg", s + "/a/home",
         s + "/a/custom/presets.db"},
        {"relative override", "b/presets.db", s + "/b/xdg", s + "/b/home", s + "/b/presets.db"},
        {"XDG folder", "-", s + "/c/xdg", s + "/c/home", s + "/c/xdg/flanger/registry.sqlite3"},
        {"empty override", "", s + "/d/xdg", s + "/d/home", s + "/d/xdg/flanger/registry.sqlite3"},
        {"home", "-", "-", s + "/e/home", s + "/e/home/.config/flanger/registry.sqlite3"},
        {"empty XDG", "-", "", s + "/f/home", s + "/f/home/.config/flanger/registry.sqlite3"},
        {"relative XDG ignored", "-", "g/xdg", s + "/g/home",
         s + "/g/home/.config/flanger/registry.sqlite3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScopedEnvironment environment;
        environment.Set("FLANGER_REGISTRY", c.registry == "-" ? nullptr : c.registry.c_str());
        environment.Set("XDG_CONFIG_HOME", c.xdg == "-" ? nullptr : c.xdg.c_str());
        environment.Set("HOME", c.home == "-" ? nullptr : c.home.c_str());

        ASSERT_EQ(SaveValues(kCurrentUser, "Software\\Vornak\\Flanger", {{"Depth", {90, 0, 0, 0}}}),
                  kRegistrySuccess);
        EXPECT_TRUE(Exists(c.expected));
        // Nowhere else: none of the other places the variables could have led to.
        const std::vector<std::string> elsewhere = {
            c.xdg + "/flanger/registry.sqlite3",
            c.home + "/.config/flanger/registry.sqlite3",
            s + "/" + c.xdg + "/flanger/registry.sqlite3",
            Scratch.Database(),
        };
        for (const std::string& other : elsewhere) {
            if (other != c.expected) {
                EXPECT_FALSE(Exists(other)) << other;
            }
        }
        // The user's settings are the user's only.
        EXPECT_EQ(Mode(c.expected), 0600u);
        EXPECT_EQ(Mode(ParentOf(c.expected)), 0700u);

        RegistryKey key = nullptr;
        ASSERT_EQ(
            OpenRegistryKey(kCurrentUser, "Software\\Vornak\\Flanger", kRegistryKeyRead, &key),
            kRegistrySuccess);
        EXPECT_EQ(QueryWhole(key, "Depth").data, (Bytes{90, 0, 0, 0}));
        EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
    }
}

TEST_F(RegistryLocationTest, AKeyStaysInTheDatabaseItWasOpenedIn) {
    RegistryKey first = nullptr;
    ASSERT_EQ(CreateRegistryKey(kCurrentUser, "Software\\Vornak", kRegistryKeyAllAccess, &first),
              kRegistrySuccess);
    const std::string other = Scratch.Folder() + "/other.sqlite3";
    Scratch.Environment().Set("FLANGER_REGISTRY", other.c_str());

    // Below the open key: the first database; below the root: the new one.
    RegistryKey below = nullptr;
    ASSERT_EQ(CreateRegistryKey(first, "Flanger", kRegistryKeyAllAccess, &below), kRegistrySuccess);
    ASSERT_EQ(SetRegistryValue(below, "Where", kRegistryTypeBinary, "first", 5), kRegistrySuccess);
    ASSERT_EQ(CloseRegistryKey(below), kRegistrySuccess);
    ASSERT_EQ(CloseRegistryKey(first), kRegistrySuccess);
    EXPECT_FALSE(Exists(other));
    ASSERT_EQ(SaveValues(kCurrentUser, "Software\\Vornak\\Flanger", {{"Where", {'o', 't'}}},
                         kRegistryTypeBinary),
              kRegistrySuccess);

    const std::string databases[] = {Scratch.Database(), other};
    const Bytes where[] = {{'f', 'i', 'r', 's', 't'}, {'o', 't'}};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(databases[i]);
        Scratch.Environment().Set("FLANGER_REGISTRY", databases[i].c_str());
        RegistryKey key = nullptr;
        ASSERT_EQ(
            OpenRegistryKey(kCurrentUser, "Software\\Vornak\\Flanger", kRegistryKeyRead, &key),
            kRegistrySuccess);
        EXPECT_EQ(QueryWhole(key, "Where").data, where[i]);
        EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
    }
}

TEST_F(RegistryLocationTest, TheFileIsAnSqliteDatabaseWithAWriteAheadLog) {
    ASSERT_EQ(SaveValues(kCurrentUser, "Software", {{"Depth", {1}}}), kRegistrySuccess);
    const std::string header = ReadFileBytes(Scratch.Database()).substr(0, 20);
    ASSERT_EQ(header.size(), 20u);
    EXPECT_EQ(header.substr(0, 16), std::string("SQLite format 3\0", 16));
    // File format read and write versions: 2 means write-ahead-log mode, kept in the file.
    EXPECT_EQ(header[18], 2);
    EXPECT_EQ(header[19], 2);
}

// A database file that can be read but not written (its folder stays writable, for SQLite's
// log): the close of a key opened there for writing reports that its values were not stored.
TEST_F(RegistryLocationTest, ClosingAKeyReportsValuesTheStoreCouldNotTake) {
    ASSERT_EQ(SaveValues(kCurrentUser, "Software", {{"Depth", Int32Bytes(1)}}), kRegistrySuccess);
    ASSERT_EQ(chmod(Scratch.Folder().c_str(), 0777), 0);
    ASSERT_EQ(chmod(Scratch.Database().c_str(), 0644), 0);
    EXPECT_EQ(RunUnprivileged([] {
                  RegistryKey key = nullptr;
                  OpenRegistryKey(kCurrentUser, "Software", kRegistryKeyAllAccess, &key);
                  SetRegistryValue(key, "Depth", kRegistryTypeNone, Int32Bytes(2).data(), 4);
                  return CloseRegistryKey(key) == kRegistryCannotWrite ? 0 : 1;
              }),
              0);
    RegistryKey key = nullptr;
    ASSERT_EQ(OpenRegistryKey(kCurrentUser, "Software", kRegistryKeyRead, &key), kRegistrySuccess);
    EXPECT_EQ(QueryWhole(key, "Depth").data, Int32Bytes(1));
    CloseRegistryKey(key);
}

// SQLite gives the log and index files it makes the database file's mode: a read while the file
// is read-only must make none, or they block every save once the file is writable again.
TEST_F(RegistryLocationTest, AReadOfAReadOnlyFileLeavesNothingThatBlocksSaves) {
    ASSERT_EQ(chmod(Scratch.Folder().c_str(), 0777), 0);
    EXPECT_EQ(
        RunUnprivileged([&] {
            RegistryKey key = nullptr;
            const bool saved =
                SaveValues(kCurrentUser, "Software", {{"Depth", {1}}}) == kRegistrySuccess;
            chmod(Scratch.Database().c_str(), 0400);
            const bool read = OpenRegistryKey(kCurrentUser, "Software", kRegistryKeyRead, &key) ==
                                  kRegistrySuccess &&
                              QueryWhole(key, "Depth").data == std::vector<unsigned char>{1};
            CloseRegistryKey(key);
            chmod(Scratch.Database().c_str(), 0600);
            return saved && read ? SaveValues(kCurrentUser, "Software", {{"Depth", {2}}}) : 99;
        }),
        kRegistrySuccess);
}

TEST_F(RegistryLocationTest, StoresThatCannotBeUsedFailCleanly) {
    const std::string s = Scratch.Folder();
    WriteFile(s + "/file", "not a folder");
    ASSERT_EQ(mkdir((s + "/folder").c_str(), 0700), 0);
    std::string garbage;
    for (int i = 0; i < 200; ++i) {
        garbage += "this is not an SQLite database\n";
    }
    WriteFile(s + "/garbage.sqlite3", garbage);
    ASSERT_EQ(mkdir((s + "/locked").c_str(), 0555), 0);
    ASSERT_EQ(chmod(s.c_str(), 0755), 0);  // so that a user without privileges can look inside

    const struct {
        const char* label;
        std::string database;
        bool unprivileged;
        long create, open;
    } cases[] = {
        {"inside a file", s + "/file/registry.sqlite3", false, kRegistryCannotWrite,
         kRegistryFileNotFound},
        {"a folder", s + "/folder", false, kRegistryCannotWrite, kRegistryFileNotFound},
        {"read-only folder", s + "/locked/registry.sqlite3", true, kRegistryCannotWrite,
         kRegistryFileNotFound},
        {"below a read-only folder", s + "/locked/sub/registry.sqlite3", true, kRegistryCannotWrite,
         kRegistryFileNotFound},
        {"not a database", s + "/garbage.sqlite3", false, kRegistryBadDatabase,
         kRegistryBadDatabase},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Scratch.Environment().Set("FLANGER_REGISTRY", c.database.c_str());
        // Reports through the exit status: 0, or which step gave a wrong result.
        const auto attempt = [&] {
            RegistryKey key = kCurrentUser;
            if (CreateRegistryKey(kCurrentUser, "Software\\Vornak", kRegistryKeyWrite, &key) !=
                    c.create ||
                key != nullptr) {
                return 1;
            }
            key = kCurrentUser;
            if (OpenRegistryKey(kCurrentUser, "Software\\Vornak", kRegistryKeyRead, &key) !=
                    c.open ||
                key != nullptr) {
                return 2;
            }
            const unsigned char data[4] = {1, 2, 3, 4};
            if (SetRegistryValue(kCurrentUser, "Depth", kRegistryTypeNone, data, 4) != c.create) {
                return 3;
            }
            return 0;
        };
        EXPECT_EQ(c.unprivileged ? RunUnprivileged(attempt) : attempt(), 0);
    }
    EXPECT_EQ(ReadFileBytes(s + "/file"), "not a folder");
    EXPECT_EQ(ReadFileBytes(s + "/garbage.sqlite3"), garbage);
    EXPECT_FALSE(Exists(s + "/locked/registry.sqlite3"));
    EXPECT_FALSE(Exists(s + "/locked/sub"));
}

}  // namespace
}  // namespace flanger::platform::test
