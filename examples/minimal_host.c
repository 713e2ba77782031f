/*
 * minimal_host.c - the smallest host of the flanger plug-in module: it loads the module, creates
 * an effect with the default settings, streams one buffer holding an impulse through it and
 * prints where the delayed copies of the impulse came out.
 *
 * Build it against the installed files:
 *   cc minimal_host.c $(pkg-config --cflags --libs flanger-plugin) \
 *      -DFLANGER_MODULE_PATH="\"$(pkg-config --variable=module flanger-plugin)\"" -o minimal_host
 * or with CMake, find_package(FlangerPlugin) (see CMakeLists.txt beside this file).
 * usage: minimal_host [PATH/TO/Plugin.so]
 */
#include <dlfcn.h>
#include <flanger_plugin.h>
#include <stdio.h>
#include <string.h>

#ifndef FLANGER_MODULE_PATH
#define FLANGER_MODULE_PATH "Plugin.so"
#endif

enum { kFrames = 4096 };
static float samples[kFrames];

/* The module asks for audio before it processes each buffer: here, one impulse. */
static uint32_t FillBuffer(uintptr_t context, StreamBuffer* buffer) {
    (void)context;
    for (uint32_t i = 0; i < buffer->FrameCount; ++i) buffer->ChannelsBegin[0][i] = i == 0;
    return 1;
}

/* ISO C has no cast from dlsym's object pointer to a function pointer; POSIX makes the bits one. */
#define LOOK_UP(name)                              \
    name##_t name##_f;                             \
    {                                              \
        void* symbol = dlsym(module, #name);       \
        memcpy(&name##_f, &symbol, sizeof symbol); \
    }
typedef int32_t (*PlugInInfo_t)(PlugInInformation*);
typedef int32_t (*Initialize_t)(const char*, const char*, FlangerRegistryKey, EffectSettings**);
typedef int32_t (*SetStreamCallBack_t)(StreamCallBack, uintptr_t, EffectSettings*);
typedef int32_t (*OpenStream_t)(EffectSettings*, const StreamFormat*);
typedef uint32_t (*ProcessStream_t)(StreamBuffer*, EffectSettings*);
typedef int32_t (*CloseStream_t)(EffectSettings*);
typedef void (*Free_t)(EffectSettings*);

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : FLANGER_MODULE_PATH;
    void* module = dlopen(path, RTLD_NOW);
    if (module == NULL) return fprintf(stderr, "minimal_host: %s\n", dlerror()), 1;
    LOOK_UP(PlugInInfo);
    LOOK_UP(Initialize);
    LOOK_UP(SetStreamCallBack);
    LOOK_UP(OpenStream);
    LOOK_UP(ProcessStream);
    LOOK_UP(CloseStream);
    LOOK_UP(Free);
    if (!PlugInInfo_f || !Initialize_f || !SetStreamCallBack_f || !OpenStream_f ||
        !ProcessStream_f || !CloseStream_f || !Free_f) {
        return fprintf(stderr, "minimal_host: %s lacks an export\n", path), 1;
    }

    PlugInInformation info = {sizeof info, 0, NULL, NULL, 0, 0};
    EffectSettings* settings = NULL;
    const StreamFormat format = {3 /* IEEE float */, 1, 44100};
    float* channels[1] = {samples};
    StreamBuffer buffer = {0, channels, channels + 1, channels + 1, kFrames, 0, 0};
    if (!PlugInInfo_f(&info) || !Initialize_f(NULL, NULL, NULL, &settings)) return 1;
    SetStreamCallBack_f(FillBuffer, 0, settings);
    if (OpenStream_f(settings, &format) != 0) return Free_f(settings), 1;
    ProcessStream_f(&buffer, settings);
    CloseStream_f(settings);
    Free_f(settings);

    printf("%s by %s: %d frames, impulse delayed to", info.Name, info.Vendor, kFrames);
    int echoes = 0;
    for (int i = 1; i < kFrames; ++i) {
        if (samples[i] != 0.0f && echoes++ < 4) printf(" frame %d (%.4f)", i, samples[i]);
    }
    fputs(echoes > 4 ? " ...\n" : "\n", stdout);
    dlclose(module);
    return echoes > 0 ? 0 : 1;
}
