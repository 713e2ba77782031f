// The walk over the type string, the choice of storage and the results of LoadParameters and
// SaveParameters, observed through a storage that records every call.
#include "persistence/parameter_driver.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "recording_storage.h"

namespace flanger {
namespace {

using test::Describe;
using test::RecordingOpener;
using test::TagText;

// A list of `count` integer variables named "v0", "v1", ...; variable i starts at Initial(i) and
// the storage holds Stored(i) for it, so a read is visible as a change of the variable.
class TestList {
public:
    explicit TestList(std::size_t count) : variables_(count) {
        for (std::size_t i = 0; i < count; ++i) {
            nameTexts_.push_back("v" + std::to_string(i));
            variables_[i] = Initial(i);
        }
        for (std::size_t i = 0; i < count; ++i) {
            names.push_back(nameTexts_[i].c_str());
            loadPointers.push_back(&variables_[i]);
            savePointers.push_back(&variables_[i]);
        }
    }
    TestList(const TestList&) = delete;
    TestList& operator=(const TestList&) = delete;

    static std::int32_t Initial(std::size_t i) { return -1 - static_cast<std::int32_t>(i); }
    static std::int32_t Stored(std::size_t i) { return 1000 + static_cast<std::int32_t>(i); }

    void StoreAllIn(RecordingOpener& opener) const {
        for (std::size_t i = 0; i < nameTexts_.size(); ++i) {
            opener.storedIntegers[nameTexts_[i]] = Stored(i);
        }
    }
    std::int32_t Variable(std::size_t i) const { return variables_[i]; }
    std::size_t Size() const { return variables_.size(); }

    std::vector<const char*> names;
    std::vector<void*> loadPointers;
    std::vector<const void*> savePointers;

private:
    std::vector<std::string> nameTexts_;
    std::vector<std::int32_t> variables_;
};

// Stand-ins for the caller's storage arguments; the recording storage never dereferences them.
int registryRootStandIn = 0;
alignas(std::max_align_t) unsigned char documentStandIn[16];
const FlangerRegistryKey kRootKey = &registryRootStandIn;
SettingsNode* const kDocument = reinterpret_cast<SettingsNode*>(documentStandIn);

const StorageTarget kProfileTarget{.fileName = "presets.ini", .section = "Flanger"};
const StorageTarget kRegistryTarget{.section = "Software\\Flanger", .rootKey = kRootKey};
const StorageTarget kNodeTarget{.document = kDocument};
const StorageTarget kNoTarget{.section = "Flanger"};

struct Access {
    std::size_t position;
    ParameterTag tag;
};

struct WalkCase {
    const char* label;
    const char* types;
    std::size_t nameCount;
    std::size_t valueCount;
    std::vector<Access> expected;  // the values the storage sees, in order
    std::optional<std::size_t> nullName = std::nullopt;
    std::optional<std::size_t> nullValue = std::nullopt;
};

const WalkCase kWalkCases[] = {
    {"two tags", "INT INT", 2, 2, {{0, ParameterTag::Int}, {1, ParameterTag::Int}}},
    {"lower case", "int int", 2, 2, {{0, ParameterTag::Int}, {1, ParameterTag::Int}}},
    {"mixed case", "iNt Int", 2, 2, {{0, ParameterTag::Int}, {1, ParameterTag::Int}}},
    {"two spaces give an empty token",
     "INT  INT",
     3,
     3,
     {{0, ParameterTag::Int}, {2, ParameterTag::Int}}},
    {"three spaces give two empty tokens",
     "INT   INT",
     4,
     4,
     {{0, ParameterTag::Int}, {3, ParameterTag::Int}}},
    {"trailing space ends the walk",
     "INT INT ",
     2,
     2,
     {{0, ParameterTag::Int}, {1, ParameterTag::Int}}},
    {"trailing space uses no further entry",
     "INT INT ",
     3,
     3,
     {{0, ParameterTag::Int}, {1, ParameterTag::Int}}},
    {"leading space gives an empty token", " INT", 2, 2, {{1, ParameterTag::Int}}},
    {"lone space", " ", 1, 1, {}},
    {"empty string", "", 2, 2, {}},
    {"null string reads as empty", nullptr, 2, 2, {}},
    {"unknown tag uses its entry", "BOOL INT", 2, 2, {{1, ParameterTag::Int}}},
    {"tab belongs to the token", "INT\t INT", 2, 2, {{1, ParameterTag::Int}}},
    {"tab does not separate", "INT\tINT INT", 2, 2, {{1, ParameterTag::Int}}},
    {"all seven tags",
     "UINT DWORD INT FLOAT DOUBLE STRING LSS",
     7,
     7,
     {{0, ParameterTag::Uint},
      {1, ParameterTag::Dword},
      {2, ParameterTag::Int},
      {3, ParameterTag::Float},
      {4, ParameterTag::Double},
      {5, ParameterTag::String},
      {6, ParameterTag::Lss}}},
    {"all seven tags, lower case, reversed",
     "lss string double float int dword uint",
     7,
     7,
     {{0, ParameterTag::Lss},
      {1, ParameterTag::String},
      {2, ParameterTag::Double},
      {3, ParameterTag::Float},
      {4, ParameterTag::Int},
      {5, ParameterTag::Dword},
      {6, ParameterTag::Uint}}},
    {"walk stops at the end of both lists",
     "INT INT INT",
     2,
     2,
     {{0, ParameterTag::Int}, {1, ParameterTag::Int}}},
    {"walk stops at the end of the names", "INT INT INT", 1, 3, {{0, ParameterTag::Int}}},
    {"walk stops at the end of the values", "INT INT INT", 3, 1, {{0, ParameterTag::Int}}},
    {"empty lists", "INT", 0, 0, {}},
    {"null name skips its value",
     "INT INT INT",
     3,
     3,
     {{0, ParameterTag::Int}, {2, ParameterTag::Int}},
     1,
     std::nullopt},
    {"null value pointer skips its value",
     "INT INT INT",
     3,
     3,
     {{0, ParameterTag::Int}, {2, ParameterTag::Int}},
     std::nullopt,
     1},
    {"null first name", "DWORD UINT", 2, 2, {{1, ParameterTag::Uint}}, 0, std::nullopt},
};

std::string TagAndName(const Access& access) {
    return std::string(TagText(access.tag)) + " v" + std::to_string(access.position) + " @" +
           std::to_string(access.position);
}

TEST(ParameterDriverTest, LoadWalksTheTypeString) {
    for (const WalkCase& c : kWalkCases) {
        SCOPED_TRACE(c.label);
        TestList list(4 + c.nameCount + c.valueCount);
        if (c.nullName) list.names[*c.nullName] = nullptr;
        if (c.nullValue) list.loadPointers[*c.nullValue] = nullptr;
        RecordingOpener opener;
        list.StoreAllIn(opener);

        LoadParameters(kProfileTarget, std::span(list.names).first(c.nameCount), c.types,
                       std::span(list.loadPointers).first(c.valueCount), opener);

        std::vector<std::string> expected{"open-load ProfileFile"};
        std::vector<bool> changed(list.Size(), false);
        for (const Access& access : c.expected) {
            expected.push_back("read " + TagAndName(access));
            changed[access.position] = IsIntegerTag(access.tag);
        }
        expected.push_back("close");
        EXPECT_EQ(Describe(opener.events, list.savePointers), expected);
        EXPECT_EQ(opener.openStorages, 0);
        for (std::size_t i = 0; i < list.Size(); ++i) {
            EXPECT_EQ(list.Variable(i), changed[i] ? TestList::Stored(i) : TestList::Initial(i))
                << "variable " << i;
        }
    }
}

TEST(ParameterDriverTest, SaveWalksTheTypeString) {
    for (const WalkCase& c : kWalkCases) {
        SCOPED_TRACE(c.label);
        TestList list(4 + c.nameCount + c.valueCount);
        if (c.nullName) list.names[*c.nullName] = nullptr;
        const std::vector<const void*> allPointers = list.savePointers;
        if (c.nullValue) list.savePointers[*c.nullValue] = nullptr;
        RecordingOpener opener;

        const std::int32_t result =
            SaveParameters(kProfileTarget, std::span(list.names).first(c.nameCount), c.types,
                           std::span(list.savePointers).first(c.valueCount), opener);

        std::vector<std::string> expected{"open-save ProfileFile"};
        for (const Access& access : c.expected) {
            std::string line = "write " + TagAndName(access);
            if (IsIntegerTag(access.tag)) {
                line += " =" + std::to_string(TestList::Initial(access.position));
            }
            expected.push_back(std::move(line));
        }
        expected.push_back("close");
        EXPECT_EQ(result, 1);
        EXPECT_EQ(Describe(opener.events, allPointers), expected);
        EXPECT_EQ(opener.openStorages, 0);
    }
}

// "INT INT ... INT" with `count` tags: 4 * count - 1 characters.
std::string JoinTags(std::size_t count) {
    std::string types;
    for (std::size_t i = 0; i < count; ++i) {
        types += i == 0 ? "INT" : " INT";
    }
    return types;
}

struct LengthCase {
    const char* label;
    std::string types;
    std::size_t length;
    std::size_t listSize;
    bool accepted;
};

TEST(ParameterDriverTest, TypeStringsBeyondTheLimitAreRefusedWhole) {
    const LengthCase cases[] = {
        {"last tag ends at the limit", JoinTags(256), 1023, 256, true},
        {"one trailing space too many", JoinTags(256) + " ", 1024, 257, false},
        // Cut to 1023 characters this would end in "INT" and load a 256th value.
        {"last token INTS crosses the limit", JoinTags(255) + " INTS", 1024, 256, false},
        {"far beyond the limit", JoinTags(2000), 7999, 2000, false},
    };

    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_EQ(c.types.size(), c.length);
        TestList list(c.listSize);
        std::vector<std::string> expectedLoad;
        std::vector<std::string> expectedSave;
        if (c.accepted) {
            const std::size_t tokens = (c.types.size() + 1) / 4;
            expectedLoad.push_back("open-load ProfileFile");
            expectedSave.push_back("open-save ProfileFile");
            for (std::size_t i = 0; i < tokens; ++i) {
                const std::string access = TagAndName({i, ParameterTag::Int});
                expectedLoad.push_back("read " + access);
                expectedSave.push_back("write " + access + " =" +
                                       std::to_string(TestList::Initial(i)));
            }
            expectedLoad.push_back("close");
            expectedSave.push_back("close");
        }

        RecordingOpener loadOpener;
        LoadParameters(kProfileTarget, list.names, c.types.c_str(), list.loadPointers, loadOpener);
        EXPECT_EQ(Describe(loadOpener.events, list.savePointers), expectedLoad);

        RecordingOpener saveOpener;
        EXPECT_EQ(SaveParameters(kProfileTarget, list.names, c.types.c_str(), list.savePointers,
                                 saveOpener),
                  c.accepted ? 1 : 0);
        EXPECT_EQ(Describe(saveOpener.events, list.savePointers), expectedSave);
    }
}

struct ChoiceCase {
    const char* label;
    StorageTarget target;
    StorageKind expected;
};

TEST(ParameterDriverTest, ChoosesTheFirstStorageThatApplies) {
    const ChoiceCase cases[] = {
        {"document only", {.document = kDocument}, StorageKind::SettingsNode},
        {"document and root key",
         {.section = "Software\\Flanger", .rootKey = kRootKey, .document = kDocument},
         StorageKind::SettingsNode},
        {"document and file",
         {.fileName = "a.ini", .section = "Flanger", .document = kDocument},
         StorageKind::SettingsNode},
        {"document, root key and file",
         {.fileName = "a.ini", .section = "Flanger", .rootKey = kRootKey, .document = kDocument},
         StorageKind::SettingsNode},
        {"root key only",
         {.section = "Software\\Flanger", .rootKey = kRootKey},
         StorageKind::Registry},
        {"root key without section", {.rootKey = kRootKey}, StorageKind::Registry},
        {"root key and file",
         {.fileName = "a.ini", .section = "Flanger", .rootKey = kRootKey},
         StorageKind::Registry},
        {"file only", {.fileName = "a.ini", .section = "Flanger"}, StorageKind::ProfileFile},
        {"file without section", {.fileName = "a.ini"}, StorageKind::ProfileFile},
        {"section only", {.section = "Flanger"}, StorageKind::None},
        {"nothing", {}, StorageKind::None},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(SelectStorage(c.target), c.expected);

        TestList list(1);
        RecordingOpener loadOpener;
        LoadParameters(c.target, list.names, "INT", list.loadPointers, loadOpener);
        RecordingOpener saveOpener;
        EXPECT_EQ(SaveParameters(c.target, list.names, "INT", list.savePointers, saveOpener), 1);

        for (RecordingOpener* opener : {&loadOpener, &saveOpener}) {
            if (c.expected == StorageKind::None) {
                EXPECT_TRUE(opener->events.empty());
                continue;
            }
            // Opened once, with the caller's target as given, then one value, then closed.
            ASSERT_EQ(opener->events.size(), 3u);
            const test::StorageEvent& open = opener->events.front();
            EXPECT_EQ(open.kind, c.expected);
            EXPECT_EQ(open.target.fileName, c.target.fileName);
            EXPECT_EQ(open.target.section, c.target.section);
            EXPECT_EQ(open.target.rootKey, c.target.rootKey);
            EXPECT_EQ(open.target.document, c.target.document);
        }
        if (c.expected != StorageKind::None) {
            EXPECT_EQ(
                Describe(loadOpener.events, list.savePointers),
                (std::vector<std::string>{std::string("open-load ") + test::KindText(c.expected),
                                          "read INT v0 @0", "close"}));
            EXPECT_EQ(
                Describe(saveOpener.events, list.savePointers),
                (std::vector<std::string>{std::string("open-save ") + test::KindText(c.expected),
                                          "write INT v0 @0 =-1", "close"}));
        }
    }
}

struct ResultCase {
    const char* label;
    StorageTarget target;
    bool failOpen;
    std::string types;
    std::int32_t saveResult;
    std::vector<std::string> loadEvents;
    std::vector<std::string> saveEvents;
};

TEST(ParameterDriverTest, ResultsAndOpenFailures) {
    const ResultCase cases[] = {
        {"no storage selected", kNoTarget, false, "INT INT", 1, {}, {}},
        {"registry opens",
         kRegistryTarget,
         false,
         "INT INT",
         1,
         {"open-load Registry", "read INT v0 @0", "read INT v1 @1", "close"},
         {"open-save Registry", "write INT v0 @0 =-1", "write INT v1 @1 =-2", "close"}},
        {"registry key cannot be opened or created",
         kRegistryTarget,
         true,
         "INT INT",
         0,
         {"open-load Registry"},
         {"open-save Registry"}},
        // The key is created at the start of the call, before and regardless of the list.
        {"registry key cannot be created, empty list",
         kRegistryTarget,
         true,
         "",
         0,
         {"open-load Registry"},
         {"open-save Registry"}},
        {"registry opens, empty list",
         kRegistryTarget,
         false,
         "",
         1,
         {"open-load Registry", "close"},
         {"open-save Registry", "close"}},
        {"profile file cannot be opened",
         kProfileTarget,
         true,
         "INT INT",
         1,
         {"open-load ProfileFile"},
         {"open-save ProfileFile"}},
        {"settings node cannot be opened",
         kNodeTarget,
         true,
         "INT INT",
         1,
         {"open-load SettingsNode"},
         {"open-save SettingsNode"}},
        {"refused type string, no storage selected", kNoTarget, false, JoinTags(257), 0, {}, {}},
        {"refused type string, registry", kRegistryTarget, false, JoinTags(257), 0, {}, {}},
    };
    for (const ResultCase& c : cases) {
        SCOPED_TRACE(c.label);
        TestList list(300);

        RecordingOpener loadOpener;
        loadOpener.failOpen = c.failOpen;
        list.StoreAllIn(loadOpener);
        LoadParameters(c.target, list.names, c.types.c_str(), list.loadPointers, loadOpener);
        EXPECT_EQ(Describe(loadOpener.events, list.savePointers), c.loadEvents);
        const std::size_t reads = c.loadEvents.size() > 2 ? c.loadEvents.size() - 2 : 0;
        for (std::size_t i = 0; i < list.Size(); ++i) {
            EXPECT_EQ(list.Variable(i), i < reads ? TestList::Stored(i) : TestList::Initial(i))
                << "variable " << i;
        }

        TestList saveList(300);
        RecordingOpener saveOpener;
        saveOpener.failOpen = c.failOpen;
        EXPECT_EQ(SaveParameters(c.target, saveList.names, c.types.c_str(), saveList.savePointers,
                                 saveOpener),
                  c.saveResult);
        EXPECT_EQ(Describe(saveOpener.events, saveList.savePointers), c.saveEvents);
    }
}

}  // namespace
}  // namespace flanger
