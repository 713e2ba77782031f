// The fixture of the module tests: the loaded module and the records a test obtains from it.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "host_records.h"
#include "plugin_module.h"

namespace host {

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        const LoadedPlugin& loaded = LoadPlugin();
        ASSERT_TRUE(loaded.error.empty()) << loaded.error;
        plugin = &loaded.exports;
    }

    // Records still held at the end of a test go back through Free, as a host gives them back;
    // most are freed with their stream still open.
    void TearDown() override {
        for (EffectSettings* record : records) plugin->Free(record);
    }

    // A record from Initialize with the given parameters written over the defaults, as the
    // settings window writes them.
    EffectSettings* NewRecord(const Parameters& parameters) {
        EffectSettings* record = nullptr;
        EXPECT_EQ(plugin->Initialize(nullptr, nullptr, nullptr, &record), 1);
        if (record == nullptr) return nullptr;
        records.push_back(record);
        SetParameters(*record, parameters);
        return record;
    }

    const PluginExports* plugin = nullptr;
    std::vector<EffectSettings*> records;
};

}  // namespace host
