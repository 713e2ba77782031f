// Values of a parameter list as the values of one registry key.
//
// Integer tags keep the stored form presets have always had in the registry (type 0, 4 bytes).
// The other tags had no defined form; each is stored here with exactly the bytes of its value,
// so that no read can run past the variable and a value of the wrong size is recognised.
#include "persistence/registry_storage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace flanger {

namespace {

using platform::RegistryKey;

// Reads the whole value `name` into `bytes`. False, with `bytes` unspecified, when it is absent
// or cannot be read.
bool QueryWholeValue(RegistryKey key, const char* name, std::vector<std::uint8_t>& bytes) {
    std::uint32_t size = 0;
    if (platform::QueryRegistryValue(key, name, nullptr, nullptr, &size) !=
        platform::kRegistrySuccess) {
        return false;
    }
    for (;;) {
        bytes.resize(size);
        std::uint32_t stored = size;
        const long result = platform::QueryRegistryValue(
            key, name, nullptr, bytes.empty() ? nullptr : bytes.data(), &stored);
        if (result == platform::kRegistrySuccess) {
            bytes.resize(std::min(stored, size));
            return true;
        }
        // Another writer made the value larger since its size was asked: "more data" tells the
        // new size, so ask again with that much room.
        if (result != platform::kRegistryMoreData || stored <= size) {
            return false;
        }
        size = stored;
    }
}

// Stands in for the data of an empty block that has no pointer: the platform gets a valid
// address for a zero-byte value.
constexpr std::uint8_t kNoBytes = 0;

}  // namespace

std::unique_ptr<RegistryStorage> RegistryStorage::OpenForLoad(platform::RegistryKey root,
                                                              const char* section) {
    // The storage exists before the key is opened, so the key is never without an owner that
    // closes it.
    std::unique_ptr<RegistryStorage> storage(new RegistryStorage(nullptr));
    if (platform::OpenRegistryKey(root, section, platform::kRegistryKeyRead, &storage->key_) !=
        platform::kRegistrySuccess) {
        storage->key_ = nullptr;
        return nullptr;
    }
    // The whole walk reads one state of the key: a save by another process in the middle of it
    // must not give a preset that is half the old one and half the new. Without the view the
    // values could not be read either.
    if (platform::HoldRegistrySnapshot(storage->key_) != platform::kRegistrySuccess) {
        return nullptr;
    }
    return storage;
}

std::unique_ptr<RegistryStorage> RegistryStorage::OpenForSave(platform::RegistryKey root,
                                                              const char* section) {
    std::unique_ptr<RegistryStorage> storage(new RegistryStorage(nullptr));
    if (platform::CreateRegistryKey(root, section, platform::kRegistryKeyWrite, &storage->key_) !=
        platform::kRegistrySuccess) {
        storage->key_ = nullptr;
        return nullptr;
    }
    return storage;
}

RegistryStorage::~RegistryStorage() {
    if (key_ != nullptr) {
        platform::CloseRegistryKey(key_);
    }
}

bool RegistryStorage::FinishSave() {
    const long closed = platform::CloseRegistryKey(key_);
    key_ = nullptr;
    return closed == platform::kRegistrySuccess && !writeFailed_;
}

void RegistryStorage::Set(const char* name, std::uint32_t type, const void* data,
                          std::uint32_t size) {
    if (platform::SetRegistryValue(key_, name, type, data, size) != platform::kRegistrySuccess) {
        writeFailed_ = true;
    }
}

void RegistryStorage::ReadValue(ParameterTag tag, const char* name, void* variable) {
    switch (tag) {
        case ParameterTag::Uint:
        case ParameterTag::Dword:
        case ParameterTag::Int:
            ReadFixedSize(name, variable, 4);
            return;
        case ParameterTag::Float:
            ReadFixedSize(name, variable, sizeof(float));
            return;
        case ParameterTag::Double:
            ReadFixedSize(name, variable, sizeof(double));
            return;
        case ParameterTag::String:
            ReadText(name, *static_cast<std::string*>(variable));
            return;
        case ParameterTag::Lss:
            ReadBlock(name, *static_cast<LssBlock*>(variable));
            return;
    }
}

void RegistryStorage::ReadFixedSize(const char* name, void* variable, std::uint32_t size) {
    // Queried into a buffer of the variable's size: a larger value answers "more data" and
    // writes nothing, a smaller one fills only part of the buffer; either way the variable is
    // only written when the stored size is exactly its own.
    std::array<std::uint8_t, 8> bytes{};
    std::uint32_t stored = size;
    if (platform::QueryRegistryValue(key_, name, nullptr, bytes.data(), &stored) ==
            platform::kRegistrySuccess &&
        stored == size) {
        std::memcpy(variable, bytes.data(), size);
    }
}

void RegistryStorage::ReadText(const char* name, std::string& text) {
    std::vector<std::uint8_t> bytes;
    if (!QueryWholeValue(key_, name, bytes)) {
        return;
    }
    // The text ends at its terminating NUL, or with the data when a writer left it out.
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    text.assign(bytes.begin(), end);
}

void RegistryStorage::ReadBlock(const char* name, LssBlock& block) {
    std::vector<std::uint8_t> bytes;
    if (!QueryWholeValue(key_, name, bytes)) {
        bytes.clear();
    }
    // The size is the stored data's own, so the allocation never exceeds what was read.
    std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), data.get());
    block.Size = static_cast<std::uint32_t>(bytes.size());
    block.Data = data.release();
}

void RegistryStorage::WriteValue(ParameterTag tag, const char* name, const void* variable) {
    switch (tag) {
        case ParameterTag::Uint:
        case ParameterTag::Dword:
        case ParameterTag::Int:
            Set(name, platform::kRegistryTypeNone, variable, 4);
            return;
        case ParameterTag::Float:
            // Type 0 like the integers: the value is the variable's memory image, and loading
            // goes by size alone.
            Set(name, platform::kRegistryTypeNone, variable, sizeof(float));
            return;
        case ParameterTag::Double:
            Set(name, platform::kRegistryTypeNone, variable, sizeof(double));
            return;
        case ParameterTag::String: {
            const std::string& text = *static_cast<const std::string*>(variable);
            // A text beyond the 32-bit size of a value cannot be stored whole, so not at all.
            if (text.size() >= std::numeric_limits<std::uint32_t>::max()) {
                return;
            }
            Set(name, platform::kRegistryTypeString, text.c_str(),
                static_cast<std::uint32_t>(text.size() + 1));
            return;
        }
        case ParameterTag::Lss: {
            const LssBlock& block = *static_cast<const LssBlock*>(variable);
            // A block that claims bytes but has none to give is the caller's mistake.
            if (block.Data == nullptr && block.Size != 0) {
                return;
            }
            Set(name, platform::kRegistryTypeBinary, block.Data != nullptr ? block.Data : &kNoBytes,
                block.Size);
            return;
        }
    }
}

}  // namespace flanger
