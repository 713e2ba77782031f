// Taking libxml2's error reports while parsing; see xml_parse_errors.h.
#include "platform/posix/xml_parse_errors.h"

namespace flanger::platform {
namespace {

// libxml2 uses the generic handler only for free-form messages next to a structured report,
// or when no structured handler is set; nothing in them is needed.
void IgnoreMessage(void*, const char*, ...) {}

}  // namespace

void XmlParseReport::Attach(xmlParserCtxtPtr context) {
    context->_private = this;
    context->sax->serror = &XmlParseReport::ReceiveFromContext;
}

void XmlParseReport::Detach(xmlParserCtxtPtr context) { context->_private = nullptr; }

void XmlParseReport::Note(const xmlError& error) {
    if (error.level != XML_ERR_WARNING) {
        ++errorCount_;
    }
    if (error.code == XML_ERR_NO_MEMORY) {
        outOfMemory_ = true;
    }
}

// libxml2 hands the context's handler the context's userData, which for a DOM parse is the
// parser context itself.
void XmlParseReport::ReceiveFromContext(void* userData, xmlErrorPtr error) {
    auto* const context = static_cast<xmlParserCtxtPtr>(userData);
    if (context != nullptr && context->_private != nullptr && error != nullptr) {
        static_cast<XmlParseReport*>(context->_private)->Note(*error);
    }
}

XmlThreadErrorGuard::XmlThreadErrorGuard(XmlParseReport& report)
    : structured_(xmlStructuredError),
      structuredContext_(xmlStructuredErrorContext),
      generic_(xmlGenericError),
      genericContext_(xmlGenericErrorContext) {
    if (const xmlErrorPtr last = xmlGetLastError(); last != nullptr) {
        hadLastError_ = true;
        lastErrorSaved_ = xmlCopyError(last, &lastError_) == 0;
    }
    xmlSetStructuredErrorFunc(&report, &XmlThreadErrorGuard::Receive);
    xmlSetGenericErrorFunc(nullptr, &IgnoreMessage);
}

XmlThreadErrorGuard::~XmlThreadErrorGuard() {
    xmlStructuredError = structured_;
    xmlStructuredErrorContext = structuredContext_;
    xmlGenericError = generic_;
    xmlGenericErrorContext = genericContext_;
    if (!hadLastError_) {
        xmlResetLastError();
        return;
    }
    // A failed copy (no memory) leaves whatever the parse left; there is nothing better to do.
    if (lastErrorSaved_) {
        if (const xmlErrorPtr last = xmlGetLastError(); last != nullptr) {
            xmlCopyError(&lastError_, last);
        }
    }
    xmlResetError(&lastError_);
}

void XmlThreadErrorGuard::Receive(void* report, xmlErrorPtr error) {
    if (report != nullptr && error != nullptr) {
        static_cast<XmlParseReport*>(report)->Note(*error);
    }
}

}  // namespace flanger::platform
