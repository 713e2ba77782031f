// The search through a chain of message maps.
#include "windowing/framework/message_map.h"

namespace flanger::framework {

const MessageMapEntry* FindMessageMapEntry(const MessageMap* map, UINT message, WPARAM wParam) {
    for (; map != nullptr; map = map->base != nullptr ? map->base() : nullptr) {
        for (std::size_t i = 0; i < map->count; ++i) {
            const MessageMapEntry& entry = map->entries[i];
            if (entry.message != message) continue;
            if (message == WM_COMMAND &&
                (entry.notifyCode != HIWORD(wParam) || entry.controlId != LOWORD(wParam))) {
                continue;
            }
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace flanger::framework
