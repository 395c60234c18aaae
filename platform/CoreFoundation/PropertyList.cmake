# Property-list readers and the public entry points.
target_sources(Platform PRIVATE
  CFPropertyList.cpp CFPropertyListRead.cpp CFXMLPListReader.cpp CFXMLPListScalars.cpp
  CFXMLPListReaderValues.cpp CFOldStylePListReader.cpp CFPListInputEncoding.cpp
  CFPListReaderSupport.cpp)
# Base64, binary reader and XML writer.
target_sources(Platform PRIVATE Base64.cpp CFBinaryPListReader.cpp CFXMLPListWriter.cpp)
