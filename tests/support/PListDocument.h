// The XML writer's document frame and output as text, for tests that compare documents.
#ifndef TESTS_SUPPORT_PLISTDOCUMENT_H
#define TESTS_SUPPORT_PLISTDOCUMENT_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>

#include "desc/CFRef.h"

// The document the writer makes around `lines`, the root value's lines each ending in LF.
inline std::string PListDocument(const std::string& lines) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" +
           lines + "</plist>\n";
}

// What the public writer makes of `value`, or "<writer refused>".
inline std::string WrittenXML(CFPropertyListRef value) {
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, value));
    if (!xml) return "<writer refused>";
    return std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(xml.Get())),
                       static_cast<size_t>(CFDataGetLength(xml.Get())));
}

#endif
