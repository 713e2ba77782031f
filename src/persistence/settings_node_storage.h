// A parameter list stored under a node of a settings tree: each value in the attribute "Value"
// of the child named after it, the shape presets have in a host's XML settings.
//
// Integer tags are stored as signed decimal text, "FLOAT" and "DOUBLE" as "%g" text (six
// significant digits), "STRING" as its text, and "LSS" in two children: SIZE_LSS_<name> with
// the size and DATA_LSS_<name> with the bytes as upper-case hexadecimal. Names are matched
// without regard to ASCII letter case, and the first match counts.
#pragma once

#include <memory>

#include "flanger_settings_node.h"
#include "persistence/parameter_storage.h"

namespace flanger {

class SettingsNodeStorage final : public ParameterStorage {
public:
    // The storage of `node`, which must outlive it. Null when `node` is null.
    static std::unique_ptr<SettingsNodeStorage> Open(SettingsNode* node);

    // An absent child or attribute leaves the variable as it is, except "LSS": without a size
    // child it gets size 0 and a null block. With one, it gets a new block (new[], owned by the
    // caller) of the stored size, filled from the data child's text as far as that reaches and
    // cleared beyond (the text 01AB with size 3 gives 01 AB 00). Only a size beyond
    // kLargestUnfilledBlock that the text cannot fill is cut to what it can, so that no stored
    // number alone decides a large allocation.
    void ReadValue(ParameterTag tag, const char* name, void* variable) override;

    // Sets "Value" on the first child of the name, adding the child at the end when there is
    // none; children and attributes are never removed or reordered, so saving twice reuses the
    // children of the first save. A block that claims bytes but has none is not written.
    void WriteValue(ParameterTag tag, const char* name, const void* variable) override;

private:
    explicit SettingsNodeStorage(SettingsNode& node) : node_(node) {}

    void ReadBlock(const char* name, LssBlock& block);
    void WriteBlock(const char* name, const LssBlock& block);

    SettingsNode& node_;
};

}  // namespace flanger
