// A parameter list stored as the values of one registry key, one value per parameter under the
// parameter's name.
//
// Integer tags are stored with type 0 (REG_NONE) and the variable's 4 bytes, least significant
// first; "FLOAT" and "DOUBLE" likewise with their 4 and 8 bytes; "STRING" as REG_SZ text with
// its terminating NUL; "LSS" as REG_BINARY holding the block's bytes. Loading does not examine
// the stored type, only the size: a number loads only from a value of exactly its own size,
// while a text or block takes the value whole, whatever its size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "persistence/parameter_storage.h"
#include "platform/registry.h"

namespace flanger {

class RegistryStorage final : public ParameterStorage {
public:
    // Opens the existing key `section` below `root` for reading (KEY_READ), holding one view of
    // the store until the storage is destroyed (HoldRegistrySnapshot), so that a load never mixes
    // two saves. Null when it cannot be opened, a missing key included.
    static std::unique_ptr<RegistryStorage> OpenForLoad(platform::RegistryKey root,
                                                        const char* section);

    // Opens or creates the key `section` below `root`, and any missing keys on its path, for
    // writing (KEY_WRITE). Null when that fails.
    static std::unique_ptr<RegistryStorage> OpenForSave(platform::RegistryKey root,
                                                        const char* section);

    // Closes the key: the storage lives for one load or save.
    ~RegistryStorage() override;

    RegistryStorage(const RegistryStorage&) = delete;
    RegistryStorage& operator=(const RegistryStorage&) = delete;

    // An absent value, or one whose size does not fit the variable, leaves the variable as it
    // is; except "LSS", which then gets size 0 and a new block of 0 bytes (new[], owned by the
    // caller) so that every load hands the caller a block of its own, as the profile file does.
    void ReadValue(ParameterTag tag, const char* name, void* variable) override;

    // A value the registry refuses is remembered for FinishSave.
    void WriteValue(ParameterTag tag, const char* name, const void* variable) override;

    // Closes the key, which is when our Linux registry stores the values set through it, all
    // in one transaction. False when a value was refused or the close reports that the values
    // were not stored.
    bool FinishSave() override;

private:
    explicit RegistryStorage(platform::RegistryKey key) : key_(key) {}

    // Reads the value `name` into `variable` when its stored size is exactly `size` bytes.
    void ReadFixedSize(const char* name, void* variable, std::uint32_t size);
    void ReadText(const char* name, std::string& text);
    void ReadBlock(const char* name, LssBlock& block);
    void Set(const char* name, std::uint32_t type, const void* data, std::uint32_t size);

    platform::RegistryKey key_;
    bool writeFailed_ = false;
};

}  // namespace flanger
