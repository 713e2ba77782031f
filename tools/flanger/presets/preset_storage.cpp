// LoadPreset and SavePreset on behalf of the commands.
#include "presets/preset_storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "platform/profile_file.h"
#include "platform/registry.h"
#include "presets/lock_holder.h"
#include "presets/xml_preset_file.h"

namespace flanger::tool {
namespace {

// The three location arguments of LoadPreset and SavePreset.
struct ModuleArguments {
    const char* FileName;
    const char* Section;
    FlangerRegistryKey RootKey;
};

ModuleArguments ArgumentsFor(const PresetLocation& location) {
    if (location.Where == PresetLocation::Kind::ProfileSection) {
        return {location.FileName.c_str(), location.Section.c_str(), nullptr};
    }
    const FlangerRegistryKey root = location.Root == RegistryRoot::CurrentUser
                                        ? FLANGER_HKEY_CURRENT_USER
                                        : FLANGER_HKEY_LOCAL_MACHINE;
    return {nullptr, location.Section.c_str(), root};
}

// Empty when the profile file can be loaded from; otherwise why not.
std::string CheckReadable(const std::string& fileName, MissingFile missing) {
    struct stat status {};
    if (stat(fileName.c_str(), &status) != 0) {
        // A save then says why the file cannot be made, which is more use than "cannot read".
        if ((errno == ENOENT || errno == ENOTDIR) && missing == MissingFile::Allowed) return {};
        return "cannot read the preset file '" + fileName + "': " + std::strerror(errno);
    }
    if (S_ISDIR(status.st_mode)) return "the preset file '" + fileName + "' is a directory";
    // A pipe or device would be read by the module as if it were a file, or block it.
    if (!S_ISREG(status.st_mode)) {
        return "the preset file '" + fileName + "' is not a regular file";
    }
    const int descriptor = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return "cannot read the preset file '" + fileName + "': " + std::strerror(errno);
    }
    close(descriptor);
    return {};
}

// Why a profile or XML file cannot be written, as far as the file system tells before trying;
// empty when nothing stands in the way.
std::string WriteObstacle(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::string directory =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : fileName.substr(0, slash));
    struct stat status {};
    if (stat(directory.c_str(), &status) != 0) return std::strerror(errno);
    if (!S_ISDIR(status.st_mode)) return std::strerror(ENOTDIR);
    // A file that exists is rewritten in place where its folder takes no new file, so only a
    // new one needs a folder it may write. AT_EACCESS: the ids that open would use.
    const bool exists = stat(fileName.c_str(), &status) == 0;
    if (faccessat(AT_FDCWD, exists ? fileName.c_str() : directory.c_str(), W_OK, AT_EACCESS) != 0) {
        return std::strerror(errno);
    }
    return {};
}

// Why the module could not write a profile file, where the command can tell: another process
// holding the file's lock past the wait. Empty otherwise.
std::string LostSaveReason(const std::string& fileName) {
    const std::optional<long> holder = LockHolder(fileName);
    return holder ? ": " + DescribeHeldLock(*holder) : std::string();
}

std::optional<EffectParameters> Load(const PluginExports& module, const ModuleArguments& where) {
    EffectSettings* settings = nullptr;
    if (module.LoadPreset(where.FileName, where.Section, where.RootKey, &settings) != 1 ||
        settings == nullptr) {
        return std::nullopt;
    }
    const EffectParameters loaded = ParametersOf(*settings);
    module.Free(settings);
    return loaded;
}

// "Depth, Delay, Width, Sine, Feedback and Speed": the stored names, as a sentence lists them.
std::string StoredNameList() {
    std::string list;
    for (std::size_t k = 0; k < kStoredNames.size(); ++k) {
        if (k > 0) list += k + 1 == kStoredNames.size() ? " and " : ", ";
        list += kStoredNames[k];
    }
    return list;
}

// Why a profile section or registry key holds no preset; empty when it holds one. Read through
// the same platform calls the module's storages make, so the answer is the one the module got.
std::string ProfileOrKeyAbsence(const PresetLocation& location) {
    if (location.Where == PresetLocation::Kind::ProfileSection) {
        // A value the section lacks reads as the default; no stored text holds this one.
        constexpr char kAbsent[] = "\x01";
        for (const char* name : kStoredNames) {
            char value[4] = {};
            platform::ReadProfileString(location.Section.c_str(), name, kAbsent, value,
                                        sizeof value, location.FileName.c_str());
            if (std::string_view(value) != kAbsent) return {};
        }
        return DescribeLocation(location) + " does not exist or holds none of " + StoredNameList();
    }
    platform::RegistryKey key = nullptr;
    const long opened =
        platform::OpenRegistryKey(ArgumentsFor(location).RootKey, location.Section.c_str(),
                                  platform::kRegistryQueryValue, &key);
    if (opened == platform::kRegistrySuccess) platform::CloseRegistryKey(key);
    if (opened != platform::kRegistryFileNotFound) return {};
    return DescribeLocation(location) + " does not exist";
}

// LoadPreset cannot tell a registry it could not read from a key that holds nothing: either way
// the record keeps a new effect's values, and a save that starts from them would store those
// in place of the ones it was not asked to change. So the key is read again through the same
// platform calls, and the load counts only when every stored 4-byte value is the one the
// module took. Empty when it is; otherwise why not.
std::string RegistryReadFailure(const PresetLocation& location, const EffectParameters& loaded) {
    const std::string cannot = "cannot read the preset from " + DescribeLocation(location);
    platform::RegistryKey key = nullptr;
    const long opened =
        platform::OpenRegistryKey(ArgumentsFor(location).RootKey, location.Section.c_str(),
                                  platform::kRegistryQueryValue, &key);
    if (opened == platform::kRegistryFileNotFound) return {};
    if (opened != platform::kRegistrySuccess) {
        return cannot + " (registry error " + std::to_string(opened) + ")";
    }
    std::string failure;
    for (std::size_t k = 0; k < kRecordControls.size() && failure.empty(); ++k) {
        const Control& control = kControls[kRecordControls[k]];
        std::int32_t stored = 0;
        std::uint32_t size = sizeof stored;
        const long queried =
            platform::QueryRegistryValue(key, control.StoredName, nullptr, &stored, &size);
        // A value of another size is one the module also leaves alone.
        if (queried == platform::kRegistryFileNotFound || queried == platform::kRegistryMoreData ||
            (queried == platform::kRegistrySuccess && size != sizeof stored)) {
            continue;
        }
        if (queried != platform::kRegistrySuccess) {
            failure = cannot + " (registry error " + std::to_string(queried) + ")";
        } else if (stored != loaded.*control.Field) {
            failure = cannot + ": the store changed or failed while it was read";
        }
    }
    platform::CloseRegistryKey(key);
    return failure;
}

}  // namespace

EffectSettings* NewRecord(const PluginExports& module, const EffectParameters& parameters) {
    EffectSettings* settings = nullptr;
    if (module.Initialize(nullptr, nullptr, nullptr, &settings) != 1 || settings == nullptr) {
        return nullptr;
    }
    StoreInRecord(parameters, *settings);
    return settings;
}

EffectParameters ParametersOf(const EffectSettings& settings) { return SettingsOfRecord(settings); }

std::optional<EffectParameters> LoadPresetParameters(const PluginExports& module,
                                                     const PresetLocation& location,
                                                     MissingFile missing, std::string& error,
                                                     std::string* absence) {
    if (location.Where != PresetLocation::Kind::RegistryKey) {
        error = CheckReadable(location.FileName, missing);
        if (!error.empty()) return std::nullopt;
    }
    if (location.Where == PresetLocation::Kind::XmlElement) {
        bool found = false;
        std::optional<EffectParameters> loaded = LoadXmlPreset(module, location, error, &found);
        if (loaded && !found && absence != nullptr) {
            *absence = DescribeLocation(location) + " does not exist";
        }
        return loaded;
    }
    std::optional<EffectParameters> loaded = Load(module, ArgumentsFor(location));
    if (!loaded) error = "the module could not create an effect record";
    if (loaded && location.Where == PresetLocation::Kind::RegistryKey) {
        error = RegistryReadFailure(location, *loaded);
        if (!error.empty()) return std::nullopt;
    }
    if (loaded && absence != nullptr) *absence = ProfileOrKeyAbsence(location);
    return loaded;
}

bool SavePresetParameters(const PluginExports& module, const PresetLocation& location,
                          const EffectParameters& parameters, std::string& error) {
    const bool profile = location.Where == PresetLocation::Kind::ProfileSection;
    const bool xml = location.Where == PresetLocation::Kind::XmlElement;
    error = "cannot write the preset to " + DescribeLocation(location);
    // A read-back cannot tell a lost save of a new effect's values from a good one, since
    // LoadPreset gives those values for nothing stored; so the obvious obstacles are looked for
    // first, and the file must be there afterwards.
    if (profile || xml) {
        if (const std::string obstacle = WriteObstacle(location.FileName); !obstacle.empty()) {
            error += ": " + obstacle;
            return false;
        }
    }
    if (xml) {
        error = CheckReadable(location.FileName, MissingFile::Allowed);
        return error.empty() && SaveXmlPreset(module, location, parameters, error);
    }
    const ModuleArguments where = ArgumentsFor(location);
    EffectSettings* const settings = NewRecord(module, parameters);
    if (settings == nullptr) {
        error = "the module could not create an effect record";
        return false;
    }
    const std::int32_t saved =
        module.SavePreset(where.FileName, where.Section, where.RootKey, settings);
    module.Free(settings);
    if (saved != 1) {
        if (profile) error += LostSaveReason(location.FileName);
        return false;
    }
    // Single values a registry lost unreported show when reading back.
    if (Load(module, where) != parameters) return false;
    struct stat status {};
    if (profile && stat(location.FileName.c_str(), &status) != 0) return false;
    error.clear();
    return true;
}

}  // namespace flanger::tool
