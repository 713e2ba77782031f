// "flanger process" on many files end to end: every output byte for byte what processing that
// file alone gives, the refusals that must come before anything is written, and files that fail
// among good ones.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "command_runner.h"
#include "reference_host.h"
#include "scratch_directory.h"
#include "test_sound.h"

namespace flanger::tool::test {
namespace {

struct SoundSpec {
    const char* name;
    int format;
    int channels;
    int sampleRate;
    std::int64_t frames;
};

// Several whole blocks and a partial one.
constexpr std::int64_t kFrames = 3 * kReferenceBlockFrames + 1234;

constexpr SoundSpec kMono16{"mono16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, kFrames};
constexpr SoundSpec kStereo48{"stereo48.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, kFrames};
constexpr SoundSpec kFlac22{"stereo22.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 22050,
                            kFrames / 2};
constexpr SoundSpec kSix{"six.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 6, 8000, 5000};
constexpr SoundSpec kAiff96{"hires.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 2, 96000, kFrames};
constexpr SoundSpec kSilent{"silent.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 0};
constexpr SoundSpec kVorbis{"vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 32000, kFrames};
constexpr SoundSpec kMp3{"song.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 44100, kFrames};

void WriteSpec(const std::string& folder, const SoundSpec& spec) {
    WriteSound(folder + "/" + spec.name, spec.format, spec.channels, spec.sampleRate,
               TestSignal(spec.channels, spec.sampleRate, spec.frames));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> SortedNames(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> EntriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return SortedNames(names);
}

// Everything under `root`: each path with its bytes, link target or "<dir>".
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string relative = std::filesystem::relative(entry.path(), root).string();
        if (entry.is_symlink()) {
            tree[relative] = "-> " + std::filesystem::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            tree[relative] = "<dir>";
        } else {
            tree[relative] = ReadBytes(entry.path().string());
        }
    }
    return tree;
}

enum class Form {
    Files,           // process in/A in/B ... out
    Folder,          // process in out
    ExistingFolder,  // process in/A out, with out made first
};

struct BatchCase {
    const char* name;
    std::vector<SoundSpec> files;
    Form form;
    std::vector<std::string> options;
    std::vector<std::string> outputs;  // each file's output name in the output folder
    bool withPreset = false;           // also --preset-file p.ini --section Warm, saved first
};

TEST(BatchCommandTest, EachOutputIsTheFileProcessedAlone) {
    const std::vector<SoundSpec> mix = {kMono16, kStereo48, kFlac22, kSix, kAiff96, kSilent};
    const std::vector<std::string> mixNames = {"mono16.wav", "stereo48.wav", "stereo22.flac",
                                               "six.wav",    "hires.aiff",   "silent.wav"};
    const BatchCase cases[] = {
        {"several files, defaults", mix, Form::Files, {}, mixNames},
        {"a folder into a new folder, effect options",
         mix,
         Form::Folder,
         {"--delay", "2.5", "--sweep", "sine", "--feedback", "0.7", "--speed", "1.3"},
         mixNames},
        {"--format renames to the container's extension",
         {kMono16, kAiff96, kFlac22, kVorbis},
         Form::Files,
         {"--format", "flac", "--width", "9"},
         {"mono16.flac", "hires.flac", "stereo22.flac", "vorbis.flac"}},
        {"--format wav on a folder with an MP3",
         {kMp3, kFlac22},
         Form::Folder,
         {"--format", "wav"},
         {"song.wav", "stereo22.wav"}},
        {"--encoding for every file",
         {kStereo48, kSix, kMono16},
         Form::Folder,
         {"--encoding", "pcm24", "--no-feedback", "--depth", "1"},
         {"stereo48.wav", "six.wav", "mono16.wav"}},
        {"a preset loaded once for all",
         {kStereo48, kAiff96, kFlac22},
         Form::Files,
         {"--speed", "0.5"},
         {"stereo48.wav", "hires.aiff", "stereo22.flac"},
         true},
        {"one file into an existing folder",
         {kStereo48},
         Form::ExistingFolder,
         {},
         {"stereo48.wav"}},
    };
    for (const BatchCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDirectory d;
        ASSERT_EQ(mkdir((d / "in").c_str(), 0777), 0);
        for (const SoundSpec& spec : c.files) WriteSpec(d / "in", spec);
        std::vector<std::string> options = c.options;
        if (c.withPreset) {
            const CommandResult saved =
                RunFlanger({"save-preset", "--preset-file", d / "p.ini", "--section", "Warm",
                            "--delay", "3.3", "--depth", "0.45", "--sweep", "sine"});
            ASSERT_EQ(saved.exitStatus, 0) << saved.err;
            options.insert(options.end(), {"--preset-file", d / "p.ini", "--section", "Warm"});
        }

        std::vector<std::string> arguments = {"process"};
        if (c.form == Form::Folder) {
            arguments.push_back(d / "in");
        } else {
            for (const SoundSpec& spec : c.files) {
                arguments.push_back(d / ("in/" + std::string(spec.name)));
            }
        }
        if (c.form == Form::ExistingFolder) {
            ASSERT_EQ(mkdir((d / "out").c_str(), 0777), 0);
        }
        arguments.insert(arguments.end(), {d / "out/", "--no-clip-warning"});
        arguments.insert(arguments.end(), options.begin(), options.end());
        const CommandResult run = RunFlanger(arguments);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.err, "") << "nothing on standard error when it is not a terminal";
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(EntriesOf(d / "out"), SortedNames(c.outputs))
            << "one output per input, no temporary file left";

        ASSERT_EQ(mkdir((d / "alone").c_str(), 0777), 0);
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            SCOPED_TRACE(c.files[i].name);
            std::vector<std::string> single = {"process",
                                               d / ("in/" + std::string(c.files[i].name)),
                                               d / ("alone/" + std::string(c.outputs[i]))};
            single.insert(single.end(), options.begin(), options.end());
            const CommandResult alone = RunFlanger(single);
            ASSERT_EQ(alone.exitStatus, 0) << alone.err;
            const std::string expected = ReadBytes(d / ("alone/" + std::string(c.outputs[i])));
            ASSERT_FALSE(expected.empty());
            // libsndfile's PEAK chunk holds the time of writing; two runs a second apart
            // would differ in it.
            EXPECT_EQ(expected.find("PEAK"), std::string::npos) << "a PEAK chunk was written";
            EXPECT_TRUE(ReadBytes(d / ("out/" + std::string(c.outputs[i]))) == expected)
                << "differs from the file processed alone";
            EXPECT_EQ(ReadSound(d / ("out/" + std::string(c.outputs[i]))).frames,
                      c.files[i].frames);
        }
    }
}

struct RefusalCase {
    const char* name;
    std::function<void(const ScratchDirectory&)> setup;
    std::vector<std::string> arguments;  // run in the scratch directory
    const char* message;                 // in the one line that is not a note
};

TEST(BatchCommandTest, RefusalsComeBeforeAnythingIsWritten) {
    const auto none = [](const ScratchDirectory&) {};
    const RefusalCase cases[] = {
        {"two inputs of one name",
         none,
         {"process", "in/x.wav", "sub/x.wav", "out/"},
         "'in/x.wav' and 'sub/x.wav' would both be written to 'out/x.wav'"},
        {"one name once --format has changed the extensions",
         [](const auto& d) {
             WriteSpec(d.Path(), {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 8000, 100});
         },
         {"process", "a.wav", "a.aiff", "out/", "--format", "flac"},
         "'a.wav' and 'a.aiff' would both be written to 'out/a.flac'"},
        {"an input named twice",
         none,
         {"process", "a.wav", "./a.wav", "out/"},
         "would both be written to 'out/a.wav'"},
        {"an output that is an input",
         none,
         {"process", "b.wav", "in/x.wav", "in"},
         "'in/x.wav' is the input file 'in/x.wav'"},
        {"an output that is a link to an input",
         [](const auto& d) {
             ASSERT_EQ(mkdir((d / "out").c_str(), 0777), 0);
             ASSERT_EQ(symlink("../b.wav", (d / "out/a.wav").c_str()), 0);
         },
         {"process", "a.wav", "b.wav", "out"},
         "'out/a.wav' is the input file 'b.wav'"},
        {"an output that is a hard link to an input",
         [](const auto& d) {
             ASSERT_EQ(mkdir((d / "out").c_str(), 0777), 0);
             ASSERT_EQ(link((d / "in/y.wav").c_str(), (d / "out/x.wav").c_str()), 0);
         },
         {"process", "in", "out"},
         "'out/x.wav' is the input file 'in/y.wav'"},
        {"two outputs linked to one file",
         [](const auto& d) {
             ASSERT_EQ(mkdir((d / "out").c_str(), 0777), 0);
             WriteBytes(d / "out/a.wav", "old");
             ASSERT_EQ(symlink("a.wav", (d / "out/b.wav").c_str()), 0);
         },
         {"process", "a.wav", "b.wav", "out"},
         "'a.wav' and 'b.wav' would both be written to 'out/b.wav'"},
        {"OUTDIR is INDIR", none, {"process", "in", "in"}, "is the input folder 'in'"},
        {"OUTDIR is INDIR spelt differently",
         none,
         {"process", "in", "./sub/../in/"},
         "is the input folder 'in'"},
        {"OUTDIR is a link to INDIR",
         [](const auto& d) { ASSERT_EQ(symlink("in", (d / "alias").c_str()), 0); },
         {"process", "in", "alias"},
         "the output folder 'alias' is the input folder 'in'"},
        {"OUTDIR is a file",
         none,
         {"process", "a.wav", "b.wav", "notes.txt"},
         "several inputs need an output folder; 'notes.txt' is not one (to join files, use sox)"},
        {"several inputs, OUT a new name without '/'",
         none,
         {"process", "a.wav", "b.wav", "out.wav"},
         "several inputs need an output folder; 'out.wav' is not one (write 'out.wav/' to create "
         "it; to join files, use sox)"},
        {"a folder input, OUT a new name without '/'",
         none,
         {"process", ".", "o.wav"},
         "a folder input needs an output folder; 'o.wav' is not one (write 'o.wav/' to create it)"},
        {"OUTDIR is a file, folder input",
         none,
         {"process", "in", "notes.txt"},
         "a folder input needs an output folder; 'notes.txt' is not one"},
        {"a folder among several inputs",
         none,
         {"process", "a.wav", "in", "out/"},
         "'in' is a directory"},
        {"a folder without audio",
         [](const auto& d) {
             ASSERT_EQ(mkdir((d / "empty").c_str(), 0777), 0);
             WriteBytes(d / "empty/readme.txt", "no audio here\n");
         },
         {"process", "empty", "out/"},
         "no audio file in the folder 'empty'"},
        {"OUTDIR's parent missing",
         none,
         {"process", "a.wav", "b.wav", "nodir/out/"},
         "cannot create the folder 'nodir/out/': No such file or directory"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDirectory d;
        WriteSpec(d.Path(), {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, 3000});
        WriteSpec(d.Path(), {"b.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 8000, 3000});
        WriteBytes(d / "notes.txt", "not a folder\n");
        for (const char* folder : {"in", "sub"}) {
            ASSERT_EQ(mkdir((d / folder).c_str(), 0777), 0);
            WriteSpec(d / folder, {"x.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, 2000});
        }
        WriteSpec(d / "in", {"y.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, 1000});
        c.setup(d);
        const std::map<std::string, std::string> before = Snapshot(d.Path());

        CommandOptions options;
        options.workingDirectory = d.Path();
        const CommandResult run = RunFlanger(c.arguments, options);
        EXPECT_EQ(run.exitStatus, 1) << run.err;
        std::vector<std::string> complaints;
        for (const std::string& line : Lines(run.err)) {
            if (line.rfind("flanger: note: ", 0) != 0) complaints.push_back(line);
        }
        ASSERT_EQ(complaints.size(), 1u) << run.err;
        EXPECT_EQ(complaints[0].rfind("flanger: ", 0), 0u) << run.err;
        EXPECT_NE(complaints[0].find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(Snapshot(d.Path()) == before) << "a file was created, changed or removed";
    }
}

TEST(BatchCommandTest, FailingFilesAreReportedAndTheOthersFinish) {
    const ScratchDirectory d;
    ASSERT_EQ(mkdir((d / "in").c_str(), 0777), 0);
    WriteSpec(d / "in", kStereo48);
    WriteSpec(d / "in", kFlac22);
    WriteSpec(d / "in", kMono16);
    WriteBytes(d / "in/text.wav", "just some text, not a RIFF file\n");
    // Its output name is taken by a folder, so writing it must fail.
    WriteSpec(d / "in", kSix);
    ASSERT_EQ(mkdir((d / "out").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((d / "out/six.wav").c_str(), 0777), 0);
    WriteBytes(d / "out/text.wav", "an older output");

    const CommandResult run =
        RunFlanger({"process", d / "in/stereo48.wav", d / "in/text.wav", d / "in/missing.wav",
                    d / "in/stereo22.flac", d / "in/six.wav", d / "in/mono16.wav", d / "out",
                    "--no-clip-warning"});
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 4u) << run.err;
    EXPECT_EQ(lines.back(), "flanger: 3 of 6 files failed");
    // The failures come in the order the workers meet them; each names its file.
    for (const char* failed : {"text.wav' as audio", "missing.wav': No such file",
                               "out/six.wav' exists and is not a regular file"}) {
        int naming = 0;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            EXPECT_EQ(lines[i].rfind("flanger: ", 0), 0u) << lines[i];
            naming += lines[i].find(failed) != std::string::npos ? 1 : 0;
        }
        EXPECT_EQ(naming, 1) << failed << " in\n" << run.err;
    }

    EXPECT_EQ(EntriesOf(d / "out"),
              (std::vector<std::string>{"mono16.wav", "six.wav", "stereo22.flac", "stereo48.wav",
                                        "text.wav"}));
    EXPECT_EQ(ReadBytes(d / "out/text.wav"), "an older output");
    EXPECT_TRUE(EntriesOf(d / "out/six.wav").empty());
    for (const char* good : {"stereo48.wav", "stereo22.flac", "mono16.wav"}) {
        SCOPED_TRACE(good);
        const CommandResult alone =
            RunFlanger({"process", d / ("in/" + std::string(good)), d / good});
        ASSERT_EQ(alone.exitStatus, 0) << alone.err;
        EXPECT_TRUE(ReadBytes(d / ("out/" + std::string(good))) == ReadBytes(d / good));
    }
}

TEST(BatchCommandTest, FolderSkipsWhatIsNotAudioWithANote) {
    const ScratchDirectory d;
    ASSERT_EQ(mkdir((d / "in").c_str(), 0777), 0);
    WriteSpec(d / "in", kMono16);
    WriteSpec(d / "in", kFlac22);
    WriteBytes(d / "in/notes.txt", "take 3 was the best\n");
    ASSERT_EQ(mkdir((d / "in/older").c_str(), 0777), 0);
    WriteSpec(d / "in/older", kSix);  // not looked into
    ASSERT_EQ(symlink("mono16.wav", (d / "in/linked.wav").c_str()), 0);

    const CommandResult run = RunFlanger({"process", d / "in", d / "out/", "--no-clip-warning"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    // A link to a regular file is one; what it links to is processed under the link's name.
    EXPECT_EQ(EntriesOf(d / "out"),
              (std::vector<std::string>{"linked.wav", "mono16.wav", "stereo22.flac"}));
    EXPECT_TRUE(ReadBytes(d / "out/linked.wav") == ReadBytes(d / "out/mono16.wav"));
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 2u) << run.err;
    EXPECT_EQ(lines[0].rfind("flanger: note: skipping '" + d / "in/notes.txt" + "': not audio", 0),
              0u)
        << lines[0];
    EXPECT_EQ(lines[1], "flanger: note: skipping '" + d / "in/older" + "': not a regular file");
}

}  // namespace
}  // namespace flanger::tool::test
