// Finding libxml2's functions in the process; see xml_host_library.h.
#include "xml_host_library.h"

#include <dlfcn.h>

#include <stdexcept>

namespace flanger::platform::test {
namespace {

template <typename Function>
void Find(Function& function, const char* name) {
    void* const symbol = dlsym(RTLD_DEFAULT, name);
    if (symbol == nullptr) {
        throw std::runtime_error(std::string("libxml2 function not found: ") + name);
    }
    function = reinterpret_cast<Function>(symbol);
}

HostXmlLibrary FindAll() {
    HostXmlLibrary library{};
    // The thread-local variables behind xmlStructuredError and friends in a threaded build.
    Find(library.StructuredError, "__xmlStructuredError");
    Find(library.StructuredErrorContext, "__xmlStructuredErrorContext");
    Find(library.GenericError, "__xmlGenericError");
    Find(library.GenericErrorContext, "__xmlGenericErrorContext");
    Find(library.SetStructuredErrorFunc, "xmlSetStructuredErrorFunc");
    Find(library.SetGenericErrorFunc, "xmlSetGenericErrorFunc");
    Find(library.GetLastError, "xmlGetLastError");
    Find(library.ResetLastError, "xmlResetLastError");
    Find(library.ReadMemory, "xmlReadMemory");
    Find(library.FreeDoc, "xmlFreeDoc");
    Find(library.SubstituteEntitiesDefault, "xmlSubstituteEntitiesDefault");
    Find(library.KeepBlanksDefault, "xmlKeepBlanksDefault");
    Find(library.LoadExtDtdDefaultValue, "__xmlLoadExtDtdDefaultValue");
    Find(library.DoValidityCheckingDefaultValue, "__xmlDoValidityCheckingDefaultValue");
    Find(library.GetExternalEntityLoader, "xmlGetExternalEntityLoader");
    Find(library.SetExternalEntityLoader, "xmlSetExternalEntityLoader");
    Find(library.MemGet, "xmlMemGet");
    Find(library.MemSetup, "xmlMemSetup");
    return library;
}

}  // namespace

const HostXmlLibrary& HostXml() {
    static const HostXmlLibrary library = FindAll();
    return library;
}

std::string DescribeLastError() {
    const HostXmlError* const error = HostXml().GetLastError();
    if (error == nullptr) {
        return "none";
    }
    return std::to_string(error->domain) + "/" + std::to_string(error->code) + ": " +
           (error->message != nullptr ? error->message : "(no message)");
}

}  // namespace flanger::platform::test
