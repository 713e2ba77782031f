// The parameter changes a VST3 host of our own (the plug-in benchmark, the tests' host) hands the
// processor with each block: one queue a parameter, each with one point, at the block's first
// frame unless it says otherwise, or none at all. The same object serves for the changes the
// processor reports back, where it takes none.
#pragma once

#include <travesty/audio_processor.h>

#include <cstddef>
#include <vector>

namespace flanger::plugins::vst3 {

// One point, at frame `Offset` of the block, for parameter `Id`.
struct ParamQueue {
    const v3_param_value_queue_cpp* Table;
    v3_param_id Id;
    double Value;
    int32_t Offset = 0;
};

// A block's parameter changes: the queues in `Queues`, none if it is empty.
struct ParamChanges {
    const v3_param_changes_cpp* Table;
    std::vector<ParamQueue>* Queues;

    v3_param_changes** AsChanges() { return reinterpret_cast<v3_param_changes**>(this); }
};

// The calls of the format's objects, in its calling convention (stdcall on 32-bit Windows),
// which lambdas cannot take.
inline v3_result V3_API NoInterface(void*, const v3_tuid, void** object) {
    *object = nullptr;
    return static_cast<v3_result>(V3_NO_INTERFACE);
}
inline uint32_t V3_API OneReference(void*) { return 1; }
inline v3_param_id V3_API QueueId(void* self) { return static_cast<ParamQueue*>(self)->Id; }
inline int32_t V3_API OnePoint(void*) { return 1; }
inline v3_result V3_API ThePoint(void* self, int32_t, int32_t* offset, double* value) {
    *offset = static_cast<ParamQueue*>(self)->Offset;
    *value = static_cast<ParamQueue*>(self)->Value;
    return V3_OK;
}
inline v3_result V3_API NoNewPoint(void*, int32_t, double, int32_t*) {
    return static_cast<v3_result>(V3_NOT_IMPLEMENTED);
}
inline int32_t V3_API QueueCount(void* self) {
    return static_cast<int32_t>(static_cast<ParamChanges*>(self)->Queues->size());
}
inline v3_param_value_queue** V3_API QueueAt(void* self, int32_t k) {
    auto& queues = *static_cast<ParamChanges*>(self)->Queues;
    return reinterpret_cast<v3_param_value_queue**>(&queues[static_cast<std::size_t>(k)]);
}
inline v3_param_value_queue** V3_API NoNewQueue(void*, v3_param_id*, int32_t*) { return nullptr; }

inline const v3_param_value_queue_cpp kQueueTable = {{NoInterface, OneReference, OneReference},
                                                     {QueueId, OnePoint, ThePoint, NoNewPoint}};
inline const v3_param_changes_cpp kChangesTable = {{NoInterface, OneReference, OneReference},
                                                   {QueueCount, QueueAt, NoNewQueue}};

}  // namespace flanger::plugins::vst3
