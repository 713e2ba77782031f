// A resource library as a translator would build one: a shared object whose only export is
// FlangerFindResource. It holds two resources of type 5 and one of type 6.
#include <cstdint>

#include "flanger_resource_library.h"

namespace {

alignas(4) const unsigned char kDialogHundred[8] = {1, 2, 3, 4, 5, 6, 7, 8};
alignas(4) const unsigned char kDialogHundredOne[4] = {9, 10, 11, 12};
alignas(4) const unsigned char kOtherType[2] = {0xAB, 0xCD};

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* FlangerFindResource(uint32_t type,
                                                                                  uint32_t name,
                                                                                  uint32_t* size) {
    const struct {
        uint32_t type, name;
        const unsigned char* data;
        uint32_t size;
    } resources[] = {
        {5, 100, kDialogHundred, sizeof kDialogHundred},
        {5, 101, kDialogHundredOne, sizeof kDialogHundredOne},
        {6, 100, kOtherType, sizeof kOtherType},
    };
    for (const auto& resource : resources) {
        if (resource.type == type && resource.name == name) {
            *size = resource.size;
            return resource.data;
        }
    }
    return nullptr;
}
