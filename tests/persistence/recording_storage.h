// A storage for driver tests: it records every open, value access and close in one log, can be
// told that it cannot be opened, and on load hands out integers from a table.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "persistence/parameter_storage.h"

namespace flanger::test {

enum class Action { OpenForLoad, OpenForSave, Read, Write, Close };

struct StorageEvent {
    Action action = Action::Close;
    StorageKind kind = StorageKind::None;  // open and close
    StorageTarget target;                  // open
    ParameterTag tag = ParameterTag::Int;  // read and write
    std::string name;                      // read and write
    const void* variable = nullptr;        // read and write
    std::optional<std::int32_t> written;   // write of an integer tag: the variable's value
};

class RecordingOpener : public StorageOpener {
public:
    std::unique_ptr<ParameterStorage> OpenForLoad(StorageKind kind,
                                                  const StorageTarget& target) override;
    std::unique_ptr<ParameterStorage> OpenForSave(StorageKind kind,
                                                  const StorageTarget& target) override;

    // When true, every open is logged and then fails (returns null).
    bool failOpen = false;
    // Integers the storage holds, by name; a read of an integer tag whose name is absent leaves
    // the variable as it is.
    std::map<std::string, std::int32_t> storedIntegers;

    std::vector<StorageEvent> events;
    int openStorages = 0;  // storages handed out and not yet destroyed

private:
    std::unique_ptr<ParameterStorage> Open(Action action, StorageKind kind,
                                           const StorageTarget& target);
};

// Short text of each event for readable comparisons: "open-load Registry", "read INT Depth @2",
// "write INT Depth @0 =90", "close". A variable is shown as its index in `variables`, or "@?".
std::vector<std::string> Describe(const std::vector<StorageEvent>& events,
                                  const std::vector<const void*>& variables);

const char* TagText(ParameterTag tag);
const char* KindText(StorageKind kind);

}  // namespace flanger::test
