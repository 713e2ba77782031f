// Keeping libxml2's error reporting to ourselves while a file is parsed.
//
// A host may use libxml2 in the same process, with its own error handlers. A file that fails to
// parse must neither print to stderr nor reach those handlers, and must not leave its error
// behind as the thread's "last error" that the host may inspect.
//
// Parse errors come through the parser context's own handler, which libxml2 asks first
// (XmlParseReport::Attach). A few reports carry no context, among them most of those about
// memory running out; for the time of the parse XmlThreadErrorGuard takes those through the
// calling thread's handlers, and then puts the host's handlers and last error back. libxml2
// keeps those per thread, so another thread of the host is never affected.
#pragma once

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#ifndef LIBXML_THREAD_ENABLED
#error "libxml2 without threads keeps its error handlers for the whole process"
#endif

namespace flanger::platform {

class XmlParseReport {
public:
    // Routes the reports of `context` to this object until Detach. Uses the context's _private
    // field, which libxml2 leaves to the application.
    void Attach(xmlParserCtxtPtr context);
    void Detach(xmlParserCtxtPtr context);

    // Errors, not counting warnings.
    int ErrorCount() const { return errorCount_; }

    // True when any report said that memory ran out. libxml2 2.9 often reports a later,
    // unrelated error as the context's final one (ctxt->errNo), so each report is looked at as
    // it comes.
    bool OutOfMemory() const { return outOfMemory_; }

    void Note(const xmlError& error);

private:
    static void ReceiveFromContext(void* userData, xmlErrorPtr error);

    int errorCount_ = 0;
    bool outOfMemory_ = false;
};

class XmlThreadErrorGuard {
public:
    // Saves the calling thread's error handlers and last error, and sends the reports that have
    // no parser context to `report`.
    explicit XmlThreadErrorGuard(XmlParseReport& report);
    // Puts the handlers and the last error back.
    ~XmlThreadErrorGuard();
    XmlThreadErrorGuard(const XmlThreadErrorGuard&) = delete;
    XmlThreadErrorGuard& operator=(const XmlThreadErrorGuard&) = delete;

private:
    static void Receive(void* report, xmlErrorPtr error);

    xmlStructuredErrorFunc structured_;
    void* structuredContext_;
    xmlGenericErrorFunc generic_;
    void* genericContext_;
    xmlError lastError_{};
    bool hadLastError_ = false;
    bool lastErrorSaved_ = false;
};

}  // namespace flanger::platform
