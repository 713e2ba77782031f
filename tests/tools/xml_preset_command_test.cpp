// XML presets end to end: the built command saving into, showing and using elements of XML
// settings files, with the module's InitializeXml and SavePresetXml behind it. Saved files are
// compared byte for byte with golden files in tests/tools/data.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "command_runner.h"
#include "flanger_settings_node.h"
#include "reference_host.h"
#include "sample_comparison.h"
#include "scratch_directory.h"
#include "test_sound.h"

namespace flanger::tool::test {
namespace {

std::string Golden(const std::string& name) {
    const std::string bytes = ReadBytes(std::string(FLANGER_TOOL_TEST_DATA) + "/" + name);
    if (bytes.empty()) ADD_FAILURE() << "no golden file " << name;
    return bytes;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at == std::string::npos) {
        ADD_FAILURE() << "'" << from << "' not in the text";
        return text;
    }
    return text.replace(at, from.size(), to);
}

std::vector<std::string> Plus(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::string kDefaultListing =
    "delay     5.0 ms       (Delay=50)\n"
    "width     5.0 ms       (Width=50)\n"
    "speed     0.10 Hz      (Speed=10)\n"
    "depth     0.90         (Depth=90)\n"
    "feedback  0.10         (Feedback=10)\n"
    "sweep     triangle     (Sine=0)\n";

// UTF-16LE with a byte order mark, of ASCII text.
std::string Utf16(std::string_view ascii) {
    std::string out = "\xFF\xFE";
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

struct SaveStep {
    const char* name;
    std::vector<std::string> options;  // after --xml-preset FILE
    std::string after;                 // the file's bytes afterwards
};

// Each step saves into the file the previous step left; the first starts from `start`.
void RunSaveSteps(const std::optional<std::string>& start, const std::vector<SaveStep>& steps) {
    const ScratchDirectory d;
    const std::string file = d / "settings.xml";
    if (start) WriteBytes(file, *start);
    for (const SaveStep& step : steps) {
        SCOPED_TRACE(step.name);
        const CommandResult run =
            RunFlanger(Plus({"save-preset", "--xml-preset", file}, step.options));
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(ReadBytes(file), step.after);
        EXPECT_EQ(d.Entries(), std::vector<std::string>{"settings.xml"}) << "a temporary file left";
    }
}

TEST(XmlPresetCommandTest, SaveCreatesAFileWithThePathAndTheValues) {
    const std::string saved = Golden("xml_new_saved.xml");
    RunSaveSteps(
        std::nullopt,
        {
            {"a new file",
             {"--node", "Settings/Effects/Flanger", "--delay", "2.5", "--width", "7.25", "--speed",
              "1.5", "--depth", "0.55", "--feedback", "0.7", "--no-feedback", "--sweep", "sine"},
             saved},
            // Saving again starts from the stored values and reuses the children.
            {"a second save changes one value in place",
             {"--node", "settings/EFFECTS/flanger", "--depth", "0.3"},
             Replaced(saved, "<Depth Value=\"55\"/>", "<Depth Value=\"30\"/>")},
            {"a save of the stored values changes nothing",
             {"--node", "Settings/Effects/Flanger"},
             Replaced(saved, "<Depth Value=\"55\"/>", "<Depth Value=\"30\"/>")},
        });
}

TEST(XmlPresetCommandTest, SaveIntoADocumentKeepsEveryOtherByte) {
    const std::string studio = Golden("xml_studio.xml");
    const std::string saved = Golden("xml_studio_saved.xml");
    // The element holds Depth and Delay (under other letter cases), a Feedback without Value and
    // something else; the missing values are added after it, Feedback gets its Value.
    RunSaveSteps(studio,
                 {
                     {"into an element with some of the values",
                      {"--node", "studio/effects/flanger", "--speed", "1.5", "--no-feedback"},
                      saved},
                     {"again: the children of the first save are reused",
                      {"--node", "Studio/Effects/Flanger", "--depth", "0.5"},
                      Replaced(saved, "<depth Value='33' />", "<depth Value='50' />")},
                 });
    RunSaveSteps(studio, {{"elements of the path that are missing are created",
                           {"--node", "Studio/Effects/Chorus/Flanger", "--sweep", "sine"},
                           Golden("xml_studio_chorus.xml")}});
}

// A file in a folder that takes no new file, with a second name, is written in place as the
// module writes such profile files: its names, permissions and owner stay.
TEST(XmlPresetCommandTest, SaveWritesTheFileThroughItsLinksWithItsPermissions) {
    const ScratchDirectory d;
    ASSERT_EQ(chmod(d.Path().c_str(), 0755), 0);
    ASSERT_EQ(mkdir((d / "real").c_str(), 0755), 0);
    const std::string real = d / "real/settings.xml";
    WriteBytes(real, "<S/>");
    ASSERT_EQ(link(real.c_str(), (d / "real/twin.xml").c_str()), 0);
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    const uid_t owner = geteuid() == 0 ? 65534 : geteuid();  // the user the command runs as
    ASSERT_EQ(chown(real.c_str(), owner, static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(chmod((d / "real").c_str(), 0555), 0);
    ASSERT_EQ(symlink("real/settings.xml", (d / "link.xml").c_str()), 0);
    CommandOptions asOwner;
    asOwner.asNobody = true;
    const CommandResult run = RunFlanger(
        {"save-preset", "--xml-preset", d / "link.xml", "--node", "S", "--depth", "0.2"}, asOwner);
    chmod((d / "real").c_str(), 0755);  // so that the scratch directory can go
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    struct stat status {};
    ASSERT_EQ(lstat((d / "link.xml").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    ASSERT_EQ(stat(real.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(status.st_uid, owner);
    EXPECT_EQ(ReadBytes(real),
              "<S>\n  <Depth Value=\"20\"/>\n  <Delay Value=\"50\"/>\n  <Width Value=\"50\"/>\n"
              "  <Sine Value=\"0\"/>\n  <Feedback Value=\"10\"/>\n  <Speed Value=\"10\"/>\n</S>");
    EXPECT_EQ(ReadBytes(d / "real/twin.xml"), ReadBytes(real));
    EXPECT_EQ(d.Entries(), (std::vector<std::string>{"link.xml", "real"}));
}

// Six processes save into one file at once, fifteen times each, each into elements of its own:
// none may lose another's values or elements, and every save must succeed.
TEST(XmlPresetCommandTest, ConcurrentSavesOfOneFileLoseNothing) {
    constexpr int kProcesses = 6;
    constexpr int kSaves = 15;
    for (const bool newElements : {false, true}) {
        SCOPED_TRACE(newElements ? "a new element each time" : "the same element each time");
        const auto element = [&](int i) {
            return newElements ? "Take" + std::to_string(i) : std::string("Flanger");
        };
        const ScratchDirectory d;
        const std::string file = d / "same.xml";
        if (!newElements) WriteBytes(file, "<Root/>");
        std::vector<std::string> failures[kProcesses];
        std::vector<std::thread> processes;
        for (int k = 0; k < kProcesses; ++k) {
            processes.emplace_back([&, k] {
                for (int i = 0; i < kSaves; ++i) {
                    // A delay of 1.0 + i / 10 ms, stored as Delay=10+i.
                    const std::string delay =
                        std::to_string(1 + i / 10) + "." + std::to_string(i % 10);
                    const std::string node = "Root/Effect" + std::to_string(k) + "/" + element(i);
                    const CommandResult run = RunFlanger(
                        {"save-preset", "--xml-preset", file, "--node", node, "--delay", delay});
                    if (run.exitStatus != 0) failures[k].push_back(node + ": " + run.err);
                }
            });
        }
        for (std::thread& process : processes) process.join();
        SettingsNode root;
        ASSERT_TRUE(root.LoadFromFile(file.c_str())) << ReadBytes(file);
        for (int k = 0; k < kProcesses; ++k) {
            EXPECT_EQ(failures[k], std::vector<std::string>{});
            const SettingsNode* effect = root.FindChild(("Effect" + std::to_string(k)).c_str());
            for (int i = newElements ? 0 : kSaves - 1; i < kSaves; ++i) {
                const SettingsNode* saved =
                    effect ? effect->FindChild(element(i).c_str()) : nullptr;
                const SettingsNode* delay = saved ? saved->FindChild("Delay") : nullptr;
                std::string value = "missing";
                if (delay != nullptr) delay->GetAttribute("Value", value);
                EXPECT_EQ(value, std::to_string(10 + i)) << "Effect" << k << "/" << element(i);
            }
        }
        EXPECT_EQ(d.Entries(), std::vector<std::string>{"same.xml"}) << "a temporary file left";
    }
}

struct ShowCase {
    const char* name;
    std::string file;
    std::string node;
    std::string out;
    bool absent = false;  // a warning that the element does not exist
};

TEST(XmlPresetCommandTest, ShowPresetListsWhatTheModuleReadsFromTheElement) {
    const std::string studio = Golden("xml_studio.xml");
    const std::string studioListing =
        "delay     7.7 ms       (Delay=77)\n"
        "width     5.0 ms       (Width=50)\n"
        "speed     0.10 Hz      (Speed=10)\n"
        "depth     0.33         (Depth=33)\n"
        "feedback  0.10         (Feedback=10)\n"
        "sweep     triangle     (Sine=0)\n";
    const ShowCase cases[] = {
        {"the element, its names and Value attributes in any case", studio,
         "Studio/Effects/Flanger", studioListing},
        {"the path in any case", studio, "STUDIO/effects/fLANGER", studioListing},
        {"an element without the values", studio, "Studio/Effects/Reverb", kDefaultListing},
        {"an element that is not there", studio, "Studio/Effects/Chorus", kDefaultListing, true},
        {"a root of another name", studio, "Settings/Effects/Flanger", kDefaultListing, true},
        {"the first of equal names",
         "<S><F><Depth Value=\"20\"/></F><f><Depth Value=\"30\"/></f></S>", "S/f",
         "delay     5.0 ms       (Delay=50)\n"
         "width     5.0 ms       (Width=50)\n"
         "speed     0.10 Hz      (Speed=10)\n"
         "depth     0.20         (Depth=20)\n"
         "feedback  0.10         (Feedback=10)\n"
         "sweep     triangle     (Sine=0)\n"},
        {"UTF-16", Utf16("<S>\n<Depth Value=\"12\"/>\n<Speed Value=\"120\"/>\n</S>\n"), "S",
         "delay     5.0 ms       (Delay=50)\n"
         "width     5.0 ms       (Width=50)\n"
         "speed     1.20 Hz      (Speed=120)\n"
         "depth     0.12         (Depth=12)\n"
         "feedback  0.10         (Feedback=10)\n"
         "sweep     triangle     (Sine=0)\n"},
    };
    for (const ShowCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDirectory d;
        WriteBytes(d / "s.xml", c.file);
        const CommandResult run =
            RunFlanger({"show-preset", "--xml-preset", d / "s.xml", "--node", c.node});
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.absent
                               ? "flanger: warning: element '" + c.node + "' of '" + d / "s.xml" +
                                     "' does not exist; these are a new effect's values\n"
                               : "");
        EXPECT_EQ(ReadBytes(d / "s.xml"), c.file) << "show-preset changed the file";
    }
}

struct UseCase {
    const char* name;
    std::vector<std::string> presetOptions;
    std::vector<std::string> sameByOptions;  // the same values typed
    RecordValues record;
    std::string err = "";
};

// process and demo with an XML preset: the output bit for bit what the module makes of the
// loaded record, and what the command makes of the same values typed.
TEST(XmlPresetCommandTest, ProcessAndDemoUseTheElementWithTypedValuesOnTop) {
    const ScratchDirectory d;
    const std::string file = d / "studio.xml";
    WriteBytes(file, Golden("xml_studio.xml"));
    const std::vector<std::string> flanger = {"--xml-preset", file, "--node",
                                              "studio/effects/flanger"};
    const UseCase cases[] = {
        {"the element's values",
         flanger,
         {"--depth", "0.33", "--delay", "7.7"},
         {33, 77, 50, 0, 10, 10}},
        {"typed values replace loaded ones",
         Plus(flanger, {"--delay", "2", "--sweep", "sine", "--no-feedback"}),
         {"--depth", "0.33", "--delay", "2", "--sweep", "sine", "--no-feedback"},
         {33, 20, 50, 1, -10, 10}},
        {"an element that is not there",
         {"--xml-preset", file, "--node", "Studio/Nothing", "--speed", "0.5",
          "--allow-missing-preset"},
         {"--speed", "0.5"},
         {90, 50, 50, 0, 10, 50},
         "flanger: warning: element 'Studio/Nothing' of '" + file +
             "' does not exist; a new effect's values are used\n"},
    };
    constexpr int kChannels = 2;
    constexpr int kRate = 44100;
    WriteSound(d / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, kChannels, kRate,
               TestSignal(kChannels, kRate, 2 * kReferenceBlockFrames + 321));
    const Sound input = ReadSound(d / "in.wav");
    for (const UseCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CommandResult run = RunFlanger(Plus(
            {"process", d / "in.wav", d / "preset.wav", "--no-clip-warning"}, c.presetOptions));
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.err, c.err);
        const std::vector<float> withPreset = ReadSound(d / "preset.wav").samples;
        EXPECT_TRUE(SameSamples(
            withPreset, ProcessWithModule(c.record, kChannels, kRate, input.samples), kChannels));
        const CommandResult typed =
            RunFlanger(Plus({"process", d / "in.wav", d / "typed.wav"}, c.sameByOptions));
        ASSERT_EQ(typed.exitStatus, 0) << typed.err;
        EXPECT_TRUE(SameSamples(withPreset, ReadSound(d / "typed.wav").samples, kChannels));
    }

    const CommandResult demo = RunFlanger(Plus({"demo", d / "preset.wav"}, flanger));
    ASSERT_EQ(demo.exitStatus, 0) << demo.err;
    const CommandResult typed =
        RunFlanger({"demo", d / "typed.wav", "--depth", "0.33", "--delay", "7.7"});
    ASSERT_EQ(typed.exitStatus, 0) << typed.err;
    const CommandResult plain = RunFlanger({"demo", d / "plain.wav"});
    ASSERT_EQ(plain.exitStatus, 0) << plain.err;
    const std::vector<double> withPreset = ReadExactly(d / "preset.wav");
    EXPECT_TRUE(SameSamples(withPreset, ReadExactly(d / "typed.wav"), 2));
    EXPECT_NE(withPreset, ReadExactly(d / "plain.wav")) << "the preset made no difference";
}

struct FailureCase {
    const char* name;
    std::vector<std::string> arguments;  // "<d>" stands for the scratch directory
    int exitStatus;
    std::string err;  // "<d>" as above; the whole of standard error unless startsOnly
    bool startsOnly = false;
};

TEST(XmlPresetCommandTest, RefusesFilesItCannotReadOrWriteAndLeavesThemAlone) {
    // `text` `count` times, each with its number after the first character when `numbered`.
    const auto repeated = [](const std::string& text, int count, bool numbered) {
        std::string all;
        for (int i = 0; i < count; ++i) {
            all += numbered ? text.substr(0, 2) + std::to_string(i) + text.substr(2) : text;
        }
        return all;
    };
    // Files every case finds in its scratch directory.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"bad.xml", "<Settings>\n  <Flanger>\n</Settings>\n"},
        {"other.xml", "<?xml version=\"1.0\"?>\n<Config/>\n"},
        {"ns.xml", "<S xmlns:p=\"urn:p\"/>"},
        // Shapes whose reading would take minutes: refused at once, the limit named.
        {"wide.xml", "<S><F" + repeated(" a='1'", 1001, true) + "/></S>"},
        {"many.xml", "<S>" + repeated("<c/>", 10001, false) + "</S>"},
    };
    const std::string bad = "flanger: cannot read the preset file '<d>/bad.xml' as XML: line 3: ";
    const FailureCase cases[] = {
        {"process with a file that is not there",
         {"process", "<d>/in.wav", "<d>/out.wav", "--xml-preset", "<d>/none.xml", "--node", "S"},
         1,
         "flanger: cannot read the preset file '<d>/none.xml': No such file or directory\n"},
        {"demo with an element that is not there",
         {"demo", "<d>/out.wav", "--xml-preset", "<d>/other.xml", "--node", "Config/Flanger"},
         1,
         "flanger: element 'Config/Flanger' of '<d>/other.xml' does not exist; give "
         "--allow-missing-preset to use a new effect's values\n"},
        {"show-preset with a file that is not there",
         {"show-preset", "--xml-preset", "<d>/none.xml", "--node", "S"},
         1,
         "flanger: cannot read the preset file '<d>/none.xml': No such file or directory\n"},
        {"a directory",
         {"show-preset", "--xml-preset", "<d>", "--node", "S"},
         1,
         "flanger: the preset file '<d>' is a directory\n"},
        {"show-preset with a file that is not well-formed",
         {"show-preset", "--xml-preset", "<d>/bad.xml", "--node", "Settings/Flanger"},
         1,
         bad,
         true},
        {"demo with a file that is not well-formed",
         {"demo", "<d>/out.wav", "--xml-preset", "<d>/bad.xml", "--node", "Settings/Flanger"},
         1,
         bad,
         true},
        {"save-preset into a file that is not well-formed",
         {"save-preset", "--xml-preset", "<d>/bad.xml", "--node", "Settings/Flanger", "--depth",
          "0.5"},
         1,
         bad,
         true},
        {"save-preset into an element with more attributes than a settings file holds",
         {"save-preset", "--xml-preset", "<d>/wide.xml", "--node", "S/F", "--depth", "0.5"},
         1,
         "flanger: cannot read the preset file '<d>/wide.xml' as XML: an element holds more than "
         "1000 attributes, the most a settings file may hold\n"},
        {"show-preset of a file with more children than a settings file holds",
         {"show-preset", "--xml-preset", "<d>/many.xml", "--node", "S/c"},
         1,
         "flanger: cannot read the preset file '<d>/many.xml' as XML: an element holds more than "
         "10000 elements, the most a settings file may hold\n"},
        {"save-preset into a file whose root has another name",
         {"save-preset", "--xml-preset", "<d>/other.xml", "--node", "Settings/Flanger"},
         1,
         "flanger: cannot write the preset to element 'Settings/Flanger' of '<d>/other.xml': its "
         "root element is 'Config'\n"},
        {"save-preset of a name with an undeclared prefix",
         {"save-preset", "--xml-preset", "<d>/ns.xml", "--node", "S/q:F"},
         1,
         "flanger: cannot write the preset to element 'S/q:F' of '<d>/ns.xml': the namespace "
         "prefix of 'q:F' is not declared where it would be written\n"},
        {"save-preset into a folder that is not there",
         {"save-preset", "--xml-preset", "<d>/none/s.xml", "--node", "S"},
         1,
         "flanger: cannot write the preset to element 'S' of '<d>/none/s.xml': No such file or "
         "directory\n"},
        {"two locations",
         {"show-preset", "--xml-preset", "<d>/other.xml", "--node", "Config", "--registry-key",
          "HKCU\\a"},
         2,
         "flanger: --registry-key and --xml-preset cannot be used together\n"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDirectory d;
        WriteSound(d / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000,
                   TestSignal(1, 8000, 1000));
        for (const auto& [name, bytes] : files) WriteBytes(d / name, bytes);
        const std::vector<std::string> before = d.Entries();
        const auto expand = [&d](std::string text) {
            for (std::size_t at; (at = text.find("<d>")) != std::string::npos;) {
                text.replace(at, 3, d.Path());
            }
            return text;
        };
        std::vector<std::string> arguments;
        for (const std::string& argument : c.arguments) arguments.push_back(expand(argument));
        const CommandResult run = RunFlanger(arguments);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.err;
        const std::string err = expand(c.err);
        if (c.startsOnly) {
            EXPECT_EQ(run.err.substr(0, err.size()), err);
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        } else {
            EXPECT_EQ(run.err, err);
        }
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(d.Entries(), before) << "a file made or left behind";
        for (const auto& [name, bytes] : files) EXPECT_EQ(ReadBytes(d / name), bytes) << name;
    }
}

}  // namespace
}  // namespace flanger::tool::test
