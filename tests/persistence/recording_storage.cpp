// The recording storage shared by the persistence tests.
#include "recording_storage.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace flanger::test {

namespace {

// A null name must show up in the log as a fault of the driver, not crash the test.
std::string NameText(const char* name) { return name == nullptr ? "(null)" : name; }

StorageEvent ValueEvent(Action action, ParameterTag tag, const char* name, const void* variable) {
    StorageEvent event;
    event.action = action;
    event.tag = tag;
    event.name = NameText(name);
    event.variable = variable;
    return event;
}

class RecordingStorage final : public ParameterStorage {
public:
    RecordingStorage(RecordingOpener& opener, StorageKind kind) : opener_(opener), kind_(kind) {
        ++opener_.openStorages;
    }
    ~RecordingStorage() override {
        --opener_.openStorages;
        StorageEvent event;
        event.action = Action::Close;
        event.kind = kind_;
        opener_.events.push_back(std::move(event));
    }
    RecordingStorage(const RecordingStorage&) = delete;
    RecordingStorage& operator=(const RecordingStorage&) = delete;

    void ReadValue(ParameterTag tag, const char* name, void* variable) override {
        opener_.events.push_back(ValueEvent(Action::Read, tag, name, variable));
        const auto stored = opener_.storedIntegers.find(NameText(name));
        if (IsIntegerTag(tag) && variable != nullptr && stored != opener_.storedIntegers.end()) {
            std::memcpy(variable, &stored->second, sizeof(std::int32_t));
        }
    }

    void WriteValue(ParameterTag tag, const char* name, const void* variable) override {
        StorageEvent event = ValueEvent(Action::Write, tag, name, variable);
        if (IsIntegerTag(tag) && variable != nullptr) {
            std::int32_t value = 0;
            std::memcpy(&value, variable, sizeof value);
            event.written = value;
        }
        opener_.events.push_back(std::move(event));
    }

private:
    RecordingOpener& opener_;
    StorageKind kind_;
};

}  // namespace

std::unique_ptr<ParameterStorage> RecordingOpener::OpenForLoad(StorageKind kind,
                                                               const StorageTarget& target) {
    return Open(Action::OpenForLoad, kind, target);
}

std::unique_ptr<ParameterStorage> RecordingOpener::OpenForSave(StorageKind kind,
                                                               const StorageTarget& target) {
    return Open(Action::OpenForSave, kind, target);
}

std::unique_ptr<ParameterStorage> RecordingOpener::Open(Action action, StorageKind kind,
                                                        const StorageTarget& target) {
    StorageEvent event;
    event.action = action;
    event.kind = kind;
    event.target = target;
    events.push_back(std::move(event));
    if (failOpen) {
        return nullptr;
    }
    return std::make_unique<RecordingStorage>(*this, kind);
}

const char* TagText(ParameterTag tag) {
    switch (tag) {
        case ParameterTag::Uint:
            return "UINT";
        case ParameterTag::Dword:
            return "DWORD";
        case ParameterTag::Int:
            return "INT";
        case ParameterTag::Float:
            return "FLOAT";
        case ParameterTag::Double:
            return "DOUBLE";
        case ParameterTag::String:
            return "STRING";
        case ParameterTag::Lss:
            return "LSS";
    }
    return "?";
}

const char* KindText(StorageKind kind) {
    switch (kind) {
        case StorageKind::None:
            return "None";
        case StorageKind::SettingsNode:
            return "SettingsNode";
        case StorageKind::Registry:
            return "Registry";
        case StorageKind::ProfileFile:
            return "ProfileFile";
    }
    return "?";
}

std::vector<std::string> Describe(const std::vector<StorageEvent>& events,
                                  const std::vector<const void*>& variables) {
    std::vector<std::string> lines;
    for (const StorageEvent& event : events) {
        std::string line;
        switch (event.action) {
            case Action::OpenForLoad:
                line = std::string("open-load ") + KindText(event.kind);
                break;
            case Action::OpenForSave:
                line = std::string("open-save ") + KindText(event.kind);
                break;
            case Action::Close:
                line = "close";
                break;
            case Action::Read:
            case Action::Write: {
                const auto found = std::find(variables.begin(), variables.end(), event.variable);
                line = std::string(event.action == Action::Read ? "read " : "write ") +
                       TagText(event.tag) + " " + event.name + " @" +
                       (found == variables.end() ? std::string("?")
                                                 : std::to_string(found - variables.begin()));
                if (event.written) {
                    line += " =" + std::to_string(*event.written);
                }
                break;
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace flanger::test
