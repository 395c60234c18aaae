# Property-list readers and writer.
target_sources(Platform PRIVATE)
# Base64, binary reader and XML writer.
target_sources(Platform PRIVATE Base64.cpp CFBinaryPListReader.cpp CFXMLPListWriter.cpp)
