// Loading and saving XML presets through the settings tree and the module's XML exports.
#include "presets/xml_preset_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "audio/output_file.h"
#include "flanger_settings_node.h"
#include "platform/posix/in_place_update.h"
#include "platform/xml_document.h"
#include "presets/preset_storage.h"
#include "presets/xml_preset_edit.h"

namespace flanger::tool {
namespace {

// The bytes of the open file from where it is read on; closes it.
std::optional<std::string> ReadAndClose(int file, std::string& error) {
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t count = read(file, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            if (count < 0) error = std::strerror(errno);
            close(file);
            if (count < 0) return std::nullopt;
            return bytes;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    return ReadAndClose(file, error);
}

bool WriteAll(int file, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = write(file, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

// Why the settings tree would not read `file`: the tree itself only says no, so libxml2 is asked
// for the line and the complaint. A file it takes is one the tree's reader refuses on top of
// well-formedness.
std::string Unreadable(const std::string& file) {
    std::string problem;
    if (const std::optional<std::string> bytes = ReadWholeFile(file, problem)) {
        problem = FindXmlProblem(*bytes);
    }
    if (problem.empty()) problem = "the settings reader refuses it";
    return "cannot read the preset file '" + file + "' as XML: " + problem;
}

std::string ParserFailure(const std::string& file, const platform::XmlParserError& failure) {
    char status[16];
    std::snprintf(status, sizeof status, "0x%08X", static_cast<unsigned>(failure.Status()));
    return "the XML parser failed on '" + file + "': " + failure.what() + " (status " + status +
           ")";
}

// The node the names lead to from the root, matched as FindChild matches; null when there is
// none.
SettingsNode* FindElement(SettingsNode& root, const std::vector<std::string>& names) {
    if (names.empty() || !SameXmlName(root.name, names.front())) return nullptr;
    SettingsNode* node = &root;
    for (std::size_t k = 1; node != nullptr && k < names.size(); ++k) {
        node = node->FindChild(names[k].c_str());
    }
    return node;
}

std::optional<EffectParameters> InitializeFrom(const PluginExports& module, SettingsNode* node,
                                               std::string& error) {
    EffectSettings* settings = nullptr;
    if (module.InitializeXml(node, &settings) != 1 || settings == nullptr) {
        error = "the module could not create an effect record";
        return std::nullopt;
    }
    const EffectParameters loaded = ParametersOf(*settings);
    module.Free(settings);
    return loaded;
}

std::optional<EffectParameters> ReadPreset(const PluginExports& module, const std::string& file,
                                           const std::vector<std::string>& names,
                                           std::string& error, bool* found = nullptr) {
    try {
        SettingsNode root;
        if (!root.LoadFromFile(file.c_str())) {
            error = Unreadable(file);
            return std::nullopt;
        }
        SettingsNode* const element = FindElement(root, names);
        if (found != nullptr) *found = element != nullptr;
        return InitializeFrom(module, element, error);
    } catch (const platform::XmlParserError& failure) {
        error = ParserFailure(file, failure);
        return std::nullopt;
    }
}

// Whether `text` holds `parameters` at the element, read as a save's read-back reads: through a
// temporary file in $TMPDIR (else /tmp), for a file whose own folder takes no new file. The
// temporary loses its name as soon as it is made, so that a kill leaves nothing behind; it is
// read through the process's own descriptor.
bool ReadsBackElsewhere(const PluginExports& module, const PresetLocation& location,
                        const std::string& text, const EffectParameters& parameters,
                        std::string& reason) {
    const char* const folder = std::getenv("TMPDIR");
    std::string temporary = std::string(folder != nullptr && folder[0] != '\0' ? folder : "/tmp") +
                            "/flanger-preset-XXXXXX";
    const int file = mkstemp(temporary.data());
    if (file >= 0) unlink(temporary.c_str());
    if (file < 0 || !WriteAll(file, text)) {
        reason =
            "cannot write '" + temporary + "' to read the new text back: " + std::strerror(errno);
        if (file >= 0) close(file);
        return false;
    }
    const std::optional<EffectParameters> stored =
        ReadPreset(module, "/proc/self/fd/" + std::to_string(file), location.ElementNames, reason);
    close(file);
    if (stored == parameters) return true;
    reason = "the new text does not read back as the preset" +
             (stored ? std::string() : " (" + reason + ")");
    return false;
}

// Rewrites the file at `target` (which must not be replaced by a rename, see
// platform/posix/in_place_update.h) to hold `text`, once the text reads back as the preset.
bool SaveInPlace(const PluginExports& module, const PresetLocation& location,
                 const std::string& target, const std::string& text,
                 const EffectParameters& parameters, std::string& reason) {
    if (!ReadsBackElsewhere(module, location, text, parameters, reason)) return false;
    const int file = open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (file < 0) {
        reason = "cannot write '" + target + "': " + std::strerror(errno);
        return false;
    }
    // The text as it is now, under the save's lock: the one to put back if the write fails.
    const int reader = dup(file);
    const std::optional<std::string> current =
        reader >= 0 ? ReadAndClose(reader, reason) : std::nullopt;
    const bool rewritten = current && platform::posix::RewriteInPlace(file, *current, text);
    if (!rewritten) reason = "cannot write '" + target + "': " + std::strerror(errno);
    close(file);
    return rewritten;
}

}  // namespace

std::optional<EffectParameters> LoadXmlPreset(const PluginExports& module,
                                              const PresetLocation& location, std::string& error,
                                              bool* found) {
    if (found != nullptr) *found = false;
    struct stat status {};
    if (stat(location.FileName.c_str(), &status) != 0 && errno == ENOENT) {
        return InitializeFrom(module, nullptr, error);
    }
    return ReadPreset(module, location.FileName, location.ElementNames, error, found);
}

std::optional<SaveLock> LockXmlPresetFile(const PresetLocation& location, std::string& error) {
    if (location.Where != PresetLocation::Kind::XmlElement) return SaveLock::Nothing();
    std::string unresolved;
    const std::optional<std::string> target = ResolveOutputTarget(location.FileName, unresolved);
    // A chain of links that does not resolve is reported by the save.
    if (!target) return SaveLock::Nothing();
    return SaveLock::Acquire(*target, error);
}

bool SaveXmlPreset(const PluginExports& module, const PresetLocation& location,
                   const EffectParameters& parameters, std::string& error) {
    const std::string& file = location.FileName;
    const std::string failure = "cannot write the preset to " + DescribeLocation(location) + ": ";
    std::optional<std::string> existing;
    struct stat status {};
    if (stat(file.c_str(), &status) == 0) {
        std::string reason;
        existing = ReadWholeFile(file, reason);
        if (!existing) {
            error = failure + reason;
            return false;
        }
        // A file the settings tree does not read is left alone, even where libxml2 would
        // take it: the command must be able to load what it saves.
        std::string unreadable;
        if (!ReadPreset(module, file, location.ElementNames, unreadable)) {
            error = unreadable;
            return false;
        }
    } else if (errno != ENOENT) {
        error = failure + std::strerror(errno);
        return false;
    }

    std::string reason;
    const std::optional<std::string> target = ResolveOutputTarget(file, reason);
    if (!target) {
        error = failure + reason;
        return false;
    }
    EffectSettings* const record = NewRecord(module, parameters);
    if (record == nullptr) {
        error = "the module could not create an effect record";
        return false;
    }
    const XmlEdit edit = SavePresetInXml(
        existing, location.ElementNames,
        [&](SettingsNode& element) { return module.SavePresetXml(&element, record) == 1; });
    module.Free(record);
    if (!edit.Text) {
        error = failure + edit.Error;
        return false;
    }

    struct stat targetStatus {};
    if (existing && stat(target->c_str(), &targetStatus) == 0 &&
        !platform::posix::MayReplaceByRename(DirectoryOf(*target), targetStatus)) {
        if (SaveInPlace(module, location, *target, *edit.Text, parameters, reason)) return true;
        error = failure + reason;
        return false;
    }
    const std::unique_ptr<PendingOutput> output = PendingOutput::Create(*target, reason);
    if (!output) {
        error = failure + reason;
        return false;
    }
    if (!WriteAll(output->Descriptor(), *edit.Text)) {
        error = failure + "cannot write '" + output->TemporaryPath() + "': " + std::strerror(errno);
        return false;
    }
    // The new text replaces the old only when the settings tree and the module read the preset
    // back from it, so a splice that went wrong never reaches the file.
    const std::optional<EffectParameters> stored =
        ReadPreset(module, output->TemporaryPath(), location.ElementNames, reason);
    if (stored != parameters) {
        error = failure + "the new text does not read back as the preset" +
                (stored ? std::string() : " (" + reason + ")");
        return false;
    }
    if (!output->Commit(reason)) {
        error = failure + reason;
        return false;
    }
    return true;
}

}  // namespace flanger::tool
