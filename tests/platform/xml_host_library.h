// The XML tests' stand-in for a host that uses libxml2 itself, in the same process as the
// module. Like a host's own code, it reaches the one shared copy of the library; it finds the
// functions at run time, so the tests need none of libxml2's headers, which belong to
// src/platform alone. Through it the tests set the process-wide state a host may set (error
// handlers, parser defaults, an entity loader, allocators) and check that the module's parsing
// leaves it as it was.
#pragma once

#include <cstddef>
#include <string>

namespace flanger::platform::test {

// The start of libxml2's error record (xmlError), as far as the tests compare it.
struct HostXmlError {
    int domain;
    int code;
    char* message;
};

struct HostXmlLibrary {
    using StructuredErrorHandler = void (*)(void* context, void* error);
    using GenericErrorHandler = void (*)(void* context, const char* message, ...);
    // (URL, public id, parser context) -> parser input; null refuses the entity.
    using EntityLoader = void* (*)(const char* url, const char* id, void* context);
    using FreeFunction = void (*)(void*);
    using MallocFunction = void* (*)(std::size_t);
    using ReallocFunction = void* (*)(void*, std::size_t);
    using StrdupFunction = char* (*)(const char*);

    // The calling thread's error handlers, as libxml2 keeps them.
    StructuredErrorHandler* (*StructuredError)();
    void** (*StructuredErrorContext)();
    GenericErrorHandler* (*GenericError)();
    void** (*GenericErrorContext)();
    void (*SetStructuredErrorFunc)(void* context, StructuredErrorHandler handler);
    void (*SetGenericErrorFunc)(void* context, GenericErrorHandler handler);

    // The calling thread's last error; null when there is none.
    HostXmlError* (*GetLastError)();
    void (*ResetLastError)();

    // The host's own parse of a text; returns the document (null on failure).
    void* (*ReadMemory)(const char* buffer, int size, const char* url, const char* encoding,
                        int options);
    void (*FreeDoc)(void* document);

    // Parser defaults of the calling thread that old-style libxml2 code sets.
    int (*SubstituteEntitiesDefault)(int value);
    int (*KeepBlanksDefault)(int value);
    int* (*LoadExtDtdDefaultValue)();
    int* (*DoValidityCheckingDefaultValue)();

    EntityLoader (*GetExternalEntityLoader)();
    void (*SetExternalEntityLoader)(EntityLoader loader);

    int (*MemGet)(FreeFunction* free, MallocFunction* malloc, ReallocFunction* realloc,
                  StrdupFunction* strdup);
    int (*MemSetup)(FreeFunction free, MallocFunction malloc, ReallocFunction realloc,
                    StrdupFunction strdup);
};

// libxml2's functions in this process; throws std::runtime_error when one cannot be found.
const HostXmlLibrary& HostXml();

// The code and message of the thread's last error, "none" when there is none.
std::string DescribeLastError();

}  // namespace flanger::platform::test
