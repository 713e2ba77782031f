// What "flanger process" does to the files around it: refusals leave the input and an existing
// OUT exactly as they were and leave no temporary file behind; a replaced OUT keeps its links
// and permissions.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "command_runner.h"
#include "scratch_directory.h"
#include "test_sound.h"

namespace flanger::tool::test {
namespace {

constexpr const char* kOldOutput = "previous contents of OUT";

// A scratch directory holding in.wav (a short stereo float file) and out.wav (not audio).
void WriteInputAndOldOutput(const ScratchDirectory& d) {
    WriteSound(d / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, TestSignal(2, 44100, 5000));
    WriteBytes(d / "out.wav", kOldOutput);
}

struct RefusalCase {
    const char* name;
    std::function<void(const ScratchDirectory&)> setup;  // after WriteInputAndOldOutput
    std::vector<std::string> arguments;                  // run in the scratch directory
    int exitStatus;
    const char* message;  // expected in the one line on standard error
    bool asNobody = false;  // OUT write-protected, run as another user than its owner
    long fileSizeLimit = 0;  // ulimit -f, in bytes
};

TEST(OutputSafetyTest, RefusalsLeaveEveryFileAsItWas) {
    const auto none = [](const ScratchDirectory&) {};
    const RefusalCase cases[] = {
        {"OUT is IN", none, {"process", "in.wav", "in.wav"}, 1, "is the input file"},
        {"OUT is IN spelt differently",
         [](const auto& d) { ASSERT_EQ(mkdir((d / "sub").c_str(), 0777), 0); },
         {"process", "in.wav", "./sub/../in.wav"},
         1,
         "is the input file"},
        {"OUT is a link to IN",
         [](const auto& d) { ASSERT_EQ(symlink("in.wav", (d / "link.wav").c_str()), 0); },
         {"process", "in.wav", "link.wav"},
         1,
         "is the input file"},
        {"OUT is a link to a link to IN",
         [](const auto& d) {
             ASSERT_EQ(symlink("in.wav", (d / "link.wav").c_str()), 0);
             ASSERT_EQ(symlink("link.wav", (d / "link2.wav").c_str()), 0);
         },
         {"process", "in.wav", "link2.wav"},
         1,
         "is the input file"},
        {"standard input is OUT", none, {"process", "-", "in.wav"}, 1, "standard input reads"},
        {"IN is a link to OUT",
         [](const auto& d) { ASSERT_EQ(symlink("in.wav", (d / "alias.wav").c_str()), 0); },
         {"process", "alias.wav", "in.wav"},
         1,
         "is the input file"},
        {"OUT is a hard link to IN",
         [](const auto& d) {
             ASSERT_EQ(link((d / "in.wav").c_str(), (d / "hard.wav").c_str()), 0);
         },
         {"process", "in.wav", "hard.wav"},
         1,
         "is the input file"},
        {"missing input",
         none,
         {"process", "missing.wav", "new.wav"},
         1,
         "cannot open 'missing.wav': No such file or directory"},
        {"input is not audio",
         [](const auto& d) { WriteBytes(d / "text.wav", "just some text, not a RIFF file\n"); },
         {"process", "text.wav", "out.wav"},
         1,
         "cannot read 'text.wav' as audio"},
        // A folder IN takes a folder OUT.
        {"input is a directory, OUT a file",
         [](const auto& d) { ASSERT_EQ(mkdir((d / "dir.wav").c_str(), 0777), 0); },
         {"process", "dir.wav", "out.wav"},
         1,
         "a folder input needs an output folder; 'out.wav' is not one\n"},
        {"module not loadable",
         none,
         {"process", "in.wav", "out.wav", "--plugin", "/nonexistent/Plugin.so"},
         1,
         "cannot load the module '/nonexistent/Plugin.so'"},
        {"module is not a library",
         [](const auto& d) { WriteBytes(d / "fake.so", "not an ELF file"); },
         {"process", "in.wav", "out.wav", "--plugin", "fake.so"},
         1,
         "cannot load the module 'fake.so'"},
        {"extension names no container",
         none,
         {"process", "in.wav", "new.flac.part"},
         1,
         "'new.flac.part' ends in '.part', which names no container the output can be written "
         "in; use one of .wav .flac"},
        {"extension announces another container than --format",
         none,
         {"process", "in.wav", "new.aiff", "--format", "ogg"},
         1,
         "'new.aiff' names an AIFF file but the output would be Ogg vorbis; add --format aiff"},
        {"an Ogg name for WAV samples",
         none,
         {"process", "in.wav", "x.oga", "--format", "wav"},
         1,
         "'x.oga' names an Ogg file but the output would be WAV float; add --format ogg"},
        {"format contradicts the extension",
         none,
         {"process", "in.wav", "out.wav", "--format", "aiff"},
         1,
         "add --format wav"},
        {"encoding does not fit",
         none,
         {"process", "in.wav", "out.wav", "--encoding", "vorbis"},
         1,
         "WAV cannot hold vorbis samples"},
        {"OUT's directory missing",
         none,
         {"process", "in.wav", "nodir/out.wav"},
         1,
         "cannot create a file in 'nodir'"},
        {"OUT is not a regular file",
         [](const auto& d) { ASSERT_EQ(mkfifo((d / "pipe.wav").c_str(), 0600), 0); },
         {"process", "in.wav", "pipe.wav"},
         1,
         "'pipe.wav' exists and is not a regular file"},
        {"value out of range",
         none,
         {"process", "in.wav", "out.wav", "--depth", "1.5"},
         2,
         "--depth must be between 0.10 and 1.00"},
        {"OUT write-protected in a folder open to all",
         [](const auto& d) {
             ASSERT_EQ(chmod(d.Path().c_str(), 0777) | chmod((d / "out.wav").c_str(), 0444), 0);
         },
         {"process", "in.wav", "out.wav"},
         1,
         "cannot write 'out.wav': Permission denied",
         true},
        // As the kernel's fs.protected_symlinks: another user's link in a sticky shared folder
        // is not followed (run as root, which can plant one owned by another user).
        {"[root] another user's link in a sticky folder open to all",
         [](const auto& d) {
             ASSERT_EQ(chmod(d.Path().c_str(), 01777), 0);
             ASSERT_EQ(symlink("out.wav", (d / "planted.wav").c_str()), 0);
             ASSERT_EQ(lchown((d / "planted.wav").c_str(), 65534, 65534), 0);
         },
         {"process", "in.wav", "planted.wav"},
         1,
         "is another user's symbolic link in the shared folder"},
        {"[root] another user's link as a profile file in a sticky folder open to all",
         [](const auto& d) {
             ASSERT_EQ(chmod(d.Path().c_str(), 01777), 0);
             ASSERT_EQ(symlink("out.wav", (d / "planted.ini").c_str()), 0);
             ASSERT_EQ(lchown((d / "planted.ini").c_str(), 65534, 65534), 0);
         },
         {"save-preset", "--preset-file", "planted.ini", "--section", "S"},
         1,
         "is another user's symbolic link in the shared folder"},
        // Beyond the file size limit a write fails (EFBIG) and is reported, never SIGXFSZ.
        {"file size limit", none, {"process", "in.wav", "out.wav"}, 1, "File too large", false,
         4096},
        {"unknown option",
         none,
         {"process", "in.wav", "out.wav", "--wet", "1"},
         2,
         "unknown option '--wet'"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string_view(c.name).starts_with("[root]") && geteuid() != 0) continue;
        const ScratchDirectory d;
        WriteInputAndOldOutput(d);
        c.setup(d);
        const std::string input = ReadBytes(d / "in.wav");
        const std::vector<std::string> entries = d.Entries();

        CommandOptions options;
        options.workingDirectory = d.Path();
        options.asNobody = c.asNobody;
        options.standardInput = d / "in.wav";
        options.fileSizeLimit = c.fileSizeLimit;
        const CommandResult run = RunFlanger(c.arguments, options);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.err;
        EXPECT_EQ(run.err.rfind("flanger: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;

        EXPECT_EQ(ReadBytes(d / "in.wav"), input);
        EXPECT_EQ(ReadBytes(d / "out.wav"), kOldOutput);
        EXPECT_EQ(d.Entries(), entries) << "a file was created or removed";
    }
}

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

bool IsLink(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

struct ReplaceCase {
    const char* name;
    std::function<void(const ScratchDirectory&)> setup;
    const char* out;      // the OUT argument
    const char* written;  // the file that must now hold the audio
    mode_t mode;          // its permission bits
};

TEST(OutputSafetyTest, ReplacingOutKeepsLinksAndPermissions) {
    // 027 gives new files 0640, unlike both mkstemp's 0600 and the usual 0644.
    const mode_t savedMask = umask(027);
    const ReplaceCase cases[] = {
        {"new file", [](const auto&) {}, "new.wav", "new.wav", 0640},
        {"existing file keeps its bits",
         [](const auto& d) {
             WriteBytes(d / "old.wav", "old");
             ASSERT_EQ(chmod((d / "old.wav").c_str(), 0604), 0);
         },
         "old.wav", "old.wav", 0604},
        {"set-id and sticky bits are never carried over",
         [](const auto& d) {
             WriteBytes(d / "old.wav", "old");
             ASSERT_EQ(chmod((d / "old.wav").c_str(), 07755), 0);
         },
         "old.wav", "old.wav", 0755},
        {"link to an existing file",
         [](const auto& d) {
             ASSERT_EQ(mkdir((d / "store").c_str(), 0777), 0);
             WriteBytes(d / "store/take.wav", "old");
             ASSERT_EQ(chmod((d / "store/take.wav").c_str(), 0600), 0);
             ASSERT_EQ(symlink("store/take.wav", (d / "current.wav").c_str()), 0);
         },
         "current.wav", "store/take.wav", 0600},
        {"dangling link",
         [](const auto& d) { ASSERT_EQ(symlink("later.wav", (d / "link.wav").c_str()), 0); },
         "link.wav", "later.wav", 0640},
    };
    for (const ReplaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDirectory d;
        WriteSound(d / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000,
                   TestSignal(1, 8000, 3000));
        c.setup(d);
        const bool wasLink = IsLink(d / c.out);

        CommandOptions options;
        options.workingDirectory = d.Path();
        const CommandResult run = RunFlanger({"process", "in.wav", c.out}, options);
        ASSERT_EQ(run.exitStatus, 0) << run.err;

        EXPECT_EQ(IsLink(d / c.out), wasLink);
        const Sound written = ReadSound(d / c.written);
        EXPECT_EQ(written.frames, 3000);
        EXPECT_EQ(ModeOf(d / c.written), c.mode);
        for (const std::string& entry : d.Entries()) {
            EXPECT_EQ(entry.find(".flanger-"), std::string::npos) << "left behind: " << entry;
        }
    }
    umask(savedMask);
}

}  // namespace
}  // namespace flanger::tool::test
