// The registry layer: sequences of key and value calls decoded from the input, run against a
// scratch database and checked against a model of keys and values kept here.
//
// Each input works below a key of its own, with four handle slots. Operations (one byte, then its
// arguments): create or open a path into a slot, set a value through a slot, query one, list a
// sub-key by index, close a slot. The model: keys named by their folded paths with the spelling
// they were created with; values pending with the handle that set them until it is closed.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "platform/registry.h"

namespace {

using namespace flanger::platform;
using flanger::fuzz::Require;

struct Value {
    std::uint32_t type = 0;
    std::string data;
    bool operator==(const Value&) const = default;
};
using Values = std::map<std::string, Value>;  // by folded name

std::string Folded(std::string name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

struct Model {
    std::map<std::string, std::string> spelling;  // folded path -> the key's own name
    std::map<std::string, Values> values;         // folded path -> stored values
};

struct Slot {
    RegistryKey key = nullptr;
    std::string path;  // folded, "" for the input's own key
    Values pending;
};

// The names of a sub-key path, or the error the layer gives for it.
std::optional<std::vector<std::string>> Names(std::string path, long& error) {
    std::vector<std::string> names;
    if (!path.empty() && path.front() == '\\') return error = kRegistryBadPathName, std::nullopt;
    if (!path.empty() && path.back() == '\\') path.pop_back();
    if (path.empty()) return names;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find('\\', start);
        names.push_back(path.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    for (const std::string& name : names) {
        if (name.empty()) return error = kRegistryBadPathName, std::nullopt;
    }
    for (const std::string& name : names) {
        if (name.size() > kRegistryMaxKeyNameLength) {
            return error = kRegistryInvalidParameter, std::nullopt;
        }
    }
    return names;
}

void Close(Slot& slot, Model& model) {
    if (slot.key == nullptr) return;
    Require(CloseRegistryKey(slot.key) == kRegistrySuccess, "a key's close failed");
    for (auto& [name, value] : slot.pending) model.values[slot.path][name] = value;
    slot = Slot{};
}

void OpenInto(Slot& slot, Model& model, const std::string& path, bool create, RegistryKey base) {
    Close(slot, model);
    long expected = kRegistrySuccess;
    const auto names = Names(path, expected);
    std::string folded;
    bool exists = true;
    if (names) {
        for (const std::string& name : *names) {
            folded += "\\" + Folded(name);
            exists = exists && model.spelling.count(folded) != 0;
            if (create && model.spelling.count(folded) == 0) model.spelling[folded] = name;
        }
        if (!exists && !create) expected = kRegistryFileNotFound;
    }
    RegistryKey key = nullptr;
    const long result = create ? CreateRegistryKey(base, path.c_str(), kRegistryKeyAllAccess, &key)
                               : OpenRegistryKey(base, path.c_str(), kRegistryKeyAllAccess, &key);
    if (result != expected) {
        std::fprintf(stderr, "%s '%s': %ld, the model: %ld\n", create ? "create" : "open",
                     path.c_str(), result, expected);
    }
    Require(result == expected, "an open or create gave another result than the model's");
    Require((key != nullptr) == (result == kRegistrySuccess),
            "a key handle does not fit the result");
    if (key != nullptr) slot = Slot{key, folded, {}};
}

std::string NextRunKey() {
    static unsigned run = 0;
    return "Fuzz\\Run" + std::to_string(run++);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("FLANGER_REGISTRY", flanger::fuzz::ScratchPath("registry.sqlite3").c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    flanger::fuzz::FuzzInput input(data, size);
    RegistryKey base = nullptr;
    Require(CreateRegistryKey(kRegistryCurrentUser, NextRunKey().c_str(), kRegistryKeyAllAccess,
                              &base) == kRegistrySuccess,
            "the scratch store cannot be written");
    Model model;
    Slot slots[4];
    for (int step = 0; step < 64 && !input.Empty(); ++step) {
        const std::uint8_t operation = input.Byte();
        Slot& slot = slots[operation >> 4 & 3];
        switch (operation % 6) {
            case 0:
            case 1:
                OpenInto(slot, model, input.Field(300), operation % 6 == 0, base);
                break;
            case 2: {
                const std::string name = input.Field(40);
                const auto type = static_cast<std::uint32_t>(input.Int32());
                const std::string bytes = input.Field(64);
                if (slot.key == nullptr) break;
                Require(
                    SetRegistryValue(slot.key, name.c_str(), type, bytes.data(),
                                     static_cast<std::uint32_t>(bytes.size())) == kRegistrySuccess,
                    "a value was refused");
                slot.pending[Folded(name)] = {type, bytes};
                break;
            }
            case 3: {
                const std::string name = input.Field(40);
                if (slot.key == nullptr) break;
                std::optional<Value> expected;
                const Values& stored = model.values[slot.path];
                if (auto pending = slot.pending.find(Folded(name)); pending != slot.pending.end()) {
                    expected = pending->second;
                } else if (auto found = stored.find(Folded(name)); found != stored.end()) {
                    expected = found->second;
                }
                std::uint32_t type = 0xDEADBEEF;
                char bytes[64];
                std::uint32_t length = sizeof bytes;
                const long result =
                    QueryRegistryValue(slot.key, name.c_str(), &type, bytes, &length);
                if (!expected) {
                    Require(result == kRegistryFileNotFound, "a value the model lacks was found");
                } else {
                    Require(result == kRegistrySuccess &&
                                Value{type, std::string(bytes, length)} == *expected,
                            "a value does not read back as the model holds it");
                }
                break;
            }
            case 4: {
                const std::uint8_t index = input.Byte() % 8;
                if (slot.key == nullptr) break;
                std::vector<std::pair<std::string, std::string>> children;  // folded, spelled
                for (const auto& [path, name] : model.spelling) {
                    if (path.size() > slot.path.size() &&
                        path.compare(0, slot.path.size(), slot.path) == 0 &&
                        path[slot.path.size()] == '\\' &&
                        path.find('\\', slot.path.size() + 1) == std::string::npos) {
                        children.emplace_back(Folded(name), name);
                    }
                }
                std::sort(children.begin(), children.end());
                char name[300];
                std::uint32_t length = sizeof name;
                const long result = EnumRegistrySubKey(slot.key, index, name, &length);
                if (index >= children.size()) {
                    Require(result == kRegistryNoMoreItems, "a sub-key past the model's last");
                } else {
                    Require(result == kRegistrySuccess &&
                                std::string(name, length) == children[index].second,
                            "sub-keys differ from the model's");
                }
                break;
            }
            default:
                Close(slot, model);
                break;
        }
    }
    for (Slot& slot : slots) Close(slot, model);
    CloseRegistryKey(base);
    return 0;
}
