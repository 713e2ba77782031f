/*
 * flanger_plugin.h - the host's view of the flanger plug-in module.
 *
 * A host audio editor loads the module (Plugin.dll on Windows, Plugin.so on Linux), looks up the
 * exports below by name and calls them with the records declared here. The header is plain C11
 * and also compiles as C++.
 *
 * Binding layout: on 32-bit targets every record has the exact size and field offsets that hosts
 * of the original 32-bit Windows module rely on (EffectSettings 36 bytes, PlugInInformation 24,
 * StreamBuffer 28); they are checked with static assertions at the end of this file. On 64-bit
 * targets the same fields come in the same order with natural alignment; pointers are 8 bytes and
 * CallBackContext is pointer-sized, so a host can pass a pointer through it.
 *
 * Threading: PlugInInfo may be called from any thread at any time. All other exports that take
 * one EffectSettings record must be called for that record by one thread at a time; different
 * records are independent. The module starts no thread.
 *
 * What an export may wait for, on Linux (so that a host knows what to keep off its audio thread):
 * - PlugInInfo, CopySettings, InitializeXml, SavePresetXml, SetStreamCallBack, OpenStream,
 *   ProcessStream, CloseStream and Free take no lock and touch no file. ProcessStream allocates
 *   no memory of its own; it waits only for the host's own call-back.
 * - Initialize and LoadPreset read the preset. A profile file is read without a lock, as long as
 *   the file system takes. A registry key waits for a database that other processes keep busy,
 *   and meanwhile holds up the registry calls of the process's other threads (the module's
 *   registry calls take turns), each of which waits in turn.
 * - SavePreset: a profile file waits for its lock, which another process or thread holds while
 *   it writes the file, then writes the file and flushes it to the disk (fsync), which takes as
 *   long as the disk does. The registry waits for a busy database (and for other threads'
 *   registry calls, as above), then flushes its log to the disk.
 * - These waits go on while other writers take turns, up to 5 s after the last of them got the
 *   file or database and 60 s in all; then the call fails (SavePreset returns 0).
 * - CreateSettingsWindow, and the settings window's messages, take the windowing layer's lock
 *   (flanger_user32.h) for the length of each of its calls, and talk to the X server where a
 *   display is open.
 * The module chooses its resource library while it is being loaded (dlopen): it reads
 * "Language.xml" in the current directory and loads the library that file names.
 * On Windows the profile functions and the registry are the system's, with their own waits.
 *
 * Start-up on Windows: a DLL may not load other libraries or create COM objects while it is
 * being loaded, so the module chooses its resource library (the one that "Language.xml" in the
 * directory current at load names) at the first call of any export, on the calling thread. When
 * that thread has no COM apartment, the module sets up a single-threaded one for the time of the
 * choice and leaves it again, so the thread is as the host left it; a thread with an apartment
 * (single- or multi-threaded) keeps its own. Any other call made meanwhile, from another thread,
 * waits until the choice has ended. The outcome does not depend on the calling thread or its COM
 * apartment, nor on a change of the current directory after the load. No export may be called
 * from a DllMain (under the loader lock), where neither the library nor COM may be used.
 */
#ifndef FLANGER_PLUGIN_H
#define FLANGER_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define FLANGER_CDECL __cdecl
#else
#define FLANGER_CDECL
#endif

/* The host's settings tree node. Its layout is shared between host and module and is declared
 * by the settings tree header; the exports only pass the pointer through. */
#ifdef __cplusplus
class SettingsNode;
extern "C" {
#else
typedef struct SettingsNode SettingsNode;
#endif

/* A window of the platform: an HWND on Windows, a window of the windowing layer
 * (flanger_user32.h) on Linux. Both headers declare HWND as this same type, so a host passes its
 * HWND as it is. */
typedef struct HWND__* FlangerWindowHandle;

/* An open registry key of the platform (an HKEY on Windows, such as HKEY_CURRENT_USER); null
 * selects no registry. */
typedef void* FlangerRegistryKey;

/* The predefined root keys, with the handle values of the Windows registry (sign-extended on
 * 64-bit targets, as there). On Linux the module's own key store answers to them. */
#define FLANGER_HKEY_CURRENT_USER ((FlangerRegistryKey)(intptr_t)(int32_t)0x80000001u)
#define FLANGER_HKEY_LOCAL_MACHINE ((FlangerRegistryKey)(intptr_t)(int32_t)0x80000002u)

/* The stream's format: the first eight bytes of a WAVEFORMATEX. A host may pass a pointer to its
 * complete WAVEFORMATEX; only Channels and SampleRate are read. */
typedef struct StreamFormat {
    uint16_t FormatTag;  /* not read */
    uint16_t Channels;   /* channel count */
    uint32_t SampleRate; /* frames per second */
} StreamFormat;

/* One block of non-interleaved 32-bit float audio. The channel pointer array runs from
 * ChannelsBegin up to ChannelsEnd (null ChannelsBegin: no channels); each channel pointer
 * addresses FrameCount floats, which are processed in place. */
typedef struct StreamBuffer {
    uint32_t Reserved0;           /* not read */
    float** ChannelsBegin;        /* first channel pointer, or null for no channels */
    float** ChannelsEnd;          /* one past the last channel pointer */
    float** ChannelsCapacityEnd;  /* end of the pointer array's capacity; not read */
    uint32_t FrameCount;          /* frames to process in every channel */
    uint32_t CallBackResult;      /* written by ProcessStream: the call-back's result */
    uint32_t Reserved24;          /* not read */
} StreamBuffer;

/* The host's source of audio. ProcessStream calls it with the record's CallBackContext and the
 * host's buffer before processing that buffer; the call-back fills the channel arrays and may
 * change FrameCount and the channel pointers. Its result is handed back by ProcessStream. */
typedef uint32_t(FLANGER_CDECL* StreamCallBack)(uintptr_t context, StreamBuffer* buffer);

/* One effect instance. Allocated by Initialize, LoadPreset, InitializeXml or CopySettings and
 * released only by Free. The host may read and write the six parameters at any time; the engine
 * takes them at OpenStream. Engine, CallBack and CallBackContext are the module's to manage. */
typedef struct EffectSettings {
    int32_t Depth;    /* gain of the delayed signal, hundredths (settings window: 10..100) */
    int32_t Delay;    /* delay, tenths of a millisecond (10..100) */
    int32_t Width;    /* sweep width, tenths of a millisecond (10..100) */
    int32_t Sine;     /* nonzero: sine sweep; 0: triangle sweep */
    int32_t Feedback; /* feedback gain, hundredths (magnitude 10..100); negative: feedback off */
    int32_t Speed;    /* sweep rate, hundredths of a hertz (10..200) */
    void* Engine;     /* the open stream's engine; null while no stream is open */
    StreamCallBack CallBack;   /* set by SetStreamCallBack */
    uintptr_t CallBackContext; /* handed back to CallBack unchanged */
} EffectSettings;

/* Identification of the effect, filled by PlugInInfo. */
typedef struct PlugInInformation {
    uint32_t Size;      /* set by the host to sizeof(PlugInInformation) (24 on 32-bit) */
    uint32_t Reserved4; /* written as 0 */
    const char* Name;   /* "Flanger"; owned by the module, valid while it is loaded */
    const char* Vendor; /* "Vornak"; owned by the module, valid while it is loaded */
    uint32_t Reserved16; /* written as 0x00040000 */
    uint32_t Reserved20; /* written as 2 */
} PlugInInformation;

/* Fills *info when info->Size equals sizeof(PlugInInformation) and returns 1; otherwise returns 0
 * and writes nothing (also for a null info). Any thread, any time. */
int32_t FLANGER_CDECL PlugInInfo(PlugInInformation* info);

/* Creates a record with the defaults Depth 90, Delay 50, Width 50, Sine 0, Feedback 10, Speed 10,
 * replaced by the values of a stored preset: a non-null rootKey selects the registry key `section`
 * below it; otherwise a non-null fileName selects section `section` of that profile file; with
 * neither nothing is loaded. On Windows fileName goes to the system's profile functions as it
 * is: a bare name such as "Flanger.ini" is a file in the Windows folder, a name with a directory
 * part is relative to the current directory. On Linux, which has no Windows folder, every
 * relative name is relative to the current directory. A missing or unreadable preset keeps the
 * defaults. Stores the new record in *settings (the host releases it with Free) and returns 1;
 * returns 0 and stores null when no memory is left, and 0 without storing when settings is
 * null. */
int32_t FLANGER_CDECL Initialize(const char* fileName, const char* section,
                                 FlangerRegistryKey rootKey, EffectSettings** settings);

/* The same as Initialize. */
int32_t FLANGER_CDECL LoadPreset(const char* fileName, const char* section,
                                 FlangerRegistryKey rootKey, EffectSettings** settings);

/* As Initialize, with the preset read from the children of the host's settings node (a null node
 * keeps the defaults). The node stays the host's and is only read. */
int32_t FLANGER_CDECL InitializeXml(SettingsNode* node, EffectSettings** settings);

/* Creates a record holding the six parameters of *source, with no engine and no call-back, and
 * stores it in *copy (released with Free). Returns 1; 0 on a null argument or when no memory is
 * left. The source is only read. */
int32_t FLANGER_CDECL CopySettings(EffectSettings** copy, const EffectSettings* source);

/* Stores the six parameters of *settings in the storage selected as for Initialize, all of them
 * or none. Returns 0 when the save did not reach the storage, the preset stored there before
 * staying as it was:
 * - the registry is selected and its key cannot be opened or created or its values could not be
 *   stored (on Linux a full disk, or a database that is read-only or that another writer kept
 *   busy for more than 5 s);
 * - a profile file is selected and could not be updated: a file or folder that cannot be
 *   written, a full disk, a section name the file cannot hold (holding ']' or a line break, or
 *   empty); on Linux also another writer holding the file's lock for more than 5 s; on Windows
 *   any of the system's profile writes failing (the values written before it get their old
 *   texts back);
 * - the record is null.
 * 1 otherwise, also when nothing was selected. On Linux a profile file is replaced by a new one
 * where its folder is writable, it has one name and belongs to the saving user; otherwise it is
 * rewritten in place, as Windows writes it, keeping its hard links and owner. */
int32_t FLANGER_CDECL SavePreset(const char* fileName, const char* section,
                                 FlangerRegistryKey rootKey, const EffectSettings* settings);

/* Stores the six parameters as children of the host's settings node (one child per parameter
 * with the attribute "Value"); the children added belong to the host's tree. Returns 1; 0 on a
 * null record. */
int32_t FLANGER_CDECL SavePresetXml(SettingsNode* node, const EffectSettings* settings);

/* Creates the settings window over *settings: a dialog with a slider for each of Delay, Width,
 * Speed, Depth and Feedback and check boxes for Sine and for the sign of Feedback, made as a
 * child of `parent` without caption or frame and not yet visible (the host places and shows it).
 * The window writes all six parameters into *settings at every committed change (a released
 * slider, the end of a keyboard or click move, a check box click) and then posts WM_COMMAND to
 * `parent` with wParam 0x04000000 and lParam the settings window. Its template is dialog 22802 of
 * the resource library chosen at load time (see flanger_resource_library.h), else the module's
 * own.
 * Returns the settings window, or null when `parent` is not a window, settings is null, or the
 * template does not make a settings window; nothing is left behind then.
 * Ownership: the window belongs to the host, which destroys it (directly or by destroying
 * `parent`); everything the module made for it ends with it. The record must stay valid until
 * the window is destroyed, and is never freed by the window.
 * Thread: the thread that owns `parent`; the window's messages are handled there. */
FlangerWindowHandle FLANGER_CDECL CreateSettingsWindow(FlangerWindowHandle parent,
                                                       EffectSettings* settings);

/* Stores the host's call-back and its context in the record. Returns 1; 0 on a null record. */
int32_t FLANGER_CDECL SetStreamCallBack(StreamCallBack callBack, uintptr_t context,
                                        EffectSettings* settings);

/* Opens a stream of the given format: creates the engine from the six parameters as they are
 * now (an engine still open is released first). Returns 0 (success), also when the format cannot
 * be processed (a sine sweep at sample rate 0, delay lines too long): such a stream passes audio
 * through unchanged. Returns 1 on a null record or format, leaving the record as it was. */
int32_t FLANGER_CDECL OpenStream(EffectSettings* settings, const StreamFormat* format);

/* Calls the host's call-back with the buffer, then processes FrameCount frames of every channel
 * in place, stores the call-back's result in buffer->CallBackResult and returns it. Channels
 * beyond the opened format's count are left untouched; without an open stream the audio passes
 * through unchanged. Returns 0 without calling anything for a null buffer or record, and 0
 * without processing (CallBackResult 0) when no call-back is set. */
uint32_t FLANGER_CDECL ProcessStream(StreamBuffer* buffer, EffectSettings* settings);

/* Releases the engine of the open stream, if any. Returns 1 (0 on a null record). */
int32_t FLANGER_CDECL CloseStream(EffectSettings* settings);

/* Releases the engine, if any, and the record itself; a null record is ignored. */
void FLANGER_CDECL Free(EffectSettings* settings);

#ifdef __cplusplus
}
#endif

/* The binding layout of the 32-bit module. */
#if UINTPTR_MAX == 0xFFFFFFFFu
#ifdef __cplusplus
#define FLANGER_STATIC_ASSERT static_assert
#else
#define FLANGER_STATIC_ASSERT _Static_assert
#endif
FLANGER_STATIC_ASSERT(sizeof(EffectSettings) == 36, "EffectSettings is 36 bytes");
FLANGER_STATIC_ASSERT(offsetof(EffectSettings, Depth) == 0, "Depth at 0");
FLANGER_STATIC_ASSERT(offsetof(EffectSettings, Delay) == 4, "Delay at 4");
FLANGER_STATIC_ASSERT(offsetof(EffectSettings, Width) == 8, "Width at 8");
FLANGER_STATIC_ASSERT(offsetof(EffectSettings, Sine) == 12, "Sine at 12");
FLANGER_STATIC_ASSERT(offsetof(EffectSettings, Feedback) == 16, "Feedback at 16");
FLANGER_STATIC_ASSERT(offsetof(EffectSettings, Speed) == 20, "Speed at 20");
FLANGER_STATIC_ASSERT(offsetof(EffectSettings, Engine) == 24, "Engine at 24");
FLANGER_STATIC_ASSERT(offsetof(EffectSettings, CallBack) == 28, "CallBack at 28");
FLANGER_STATIC_ASSERT(offsetof(EffectSettings, CallBackContext) == 32, "CallBackContext at 32");
FLANGER_STATIC_ASSERT(sizeof(PlugInInformation) == 24, "PlugInInformation is 24 bytes");
FLANGER_STATIC_ASSERT(offsetof(PlugInInformation, Size) == 0, "Size at 0");
FLANGER_STATIC_ASSERT(offsetof(PlugInInformation, Reserved4) == 4, "unnamed field at 4");
FLANGER_STATIC_ASSERT(offsetof(PlugInInformation, Name) == 8, "Name at 8");
FLANGER_STATIC_ASSERT(offsetof(PlugInInformation, Vendor) == 12, "Vendor at 12");
FLANGER_STATIC_ASSERT(offsetof(PlugInInformation, Reserved16) == 16, "unnamed field at 16");
FLANGER_STATIC_ASSERT(offsetof(PlugInInformation, Reserved20) == 20, "unnamed field at 20");
FLANGER_STATIC_ASSERT(sizeof(StreamBuffer) == 28, "StreamBuffer is 28 bytes");
FLANGER_STATIC_ASSERT(offsetof(StreamBuffer, ChannelsBegin) == 4, "ChannelsBegin at 4");
FLANGER_STATIC_ASSERT(offsetof(StreamBuffer, ChannelsEnd) == 8, "ChannelsEnd at 8");
FLANGER_STATIC_ASSERT(offsetof(StreamBuffer, ChannelsCapacityEnd) == 12, "capacity end at 12");
FLANGER_STATIC_ASSERT(offsetof(StreamBuffer, FrameCount) == 16, "FrameCount at 16");
FLANGER_STATIC_ASSERT(offsetof(StreamBuffer, CallBackResult) == 20, "CallBackResult at 20");
FLANGER_STATIC_ASSERT(offsetof(StreamBuffer, Reserved24) == 24, "unnamed field at 24");
FLANGER_STATIC_ASSERT(sizeof(StreamFormat) == 8, "StreamFormat reads 8 bytes");
FLANGER_STATIC_ASSERT(offsetof(StreamFormat, Channels) == 2, "Channels at 2");
FLANGER_STATIC_ASSERT(offsetof(StreamFormat, SampleRate) == 4, "SampleRate at 4");
#undef FLANGER_STATIC_ASSERT
#endif

#endif /* FLANGER_PLUGIN_H */
