/* A resource library that answers every lookup with "no such resource": the plug-in loads it
 * and then falls back to its own settings window. */
#include <stdint.h>

__attribute__((visibility("default"))) const void* FlangerFindResource(uint32_t type, uint32_t name,
                                                                       uint32_t* size) {
    (void)type;
    (void)name;
    (void)size;
    return 0;
}
