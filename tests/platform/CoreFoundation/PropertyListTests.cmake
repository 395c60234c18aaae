# Property-list reader and writer tests (golden, corpus, round trip).
# Writer, binary reader, corpus and round-trip tests.
set(_plist_test_support
  ${PROJECT_SOURCE_DIR}/tests/support/TypedJSON.cpp ${PROJECT_SOURCE_DIR}/tests/support/TypedValue.cpp)
add_project_test(PropertyListWriteTest SOURCES PropertyListWriteTest.cpp ${_plist_test_support})
add_project_test(BinaryPListReaderTest SOURCES BinaryPListReaderTest.cpp)
target_include_directories(BinaryPListReaderTest PRIVATE ${PROJECT_SOURCE_DIR}/platform/CoreFoundation)
add_project_test(PropertyListCorpusTest SOURCES PropertyListCorpusTest.cpp ${_plist_test_support})
add_project_test(PropertyListRoundTripTest SOURCES PropertyListRoundTripTest.cpp ${_plist_test_support})
target_include_directories(PropertyListRoundTripTest PRIVATE ${PROJECT_SOURCE_DIR}/platform/CoreFoundation)
# Reading entry point, XML and old-style readers.
add_project_test(PropertyListReadTest SOURCES PropertyListReadTest.cpp)
add_project_test(OldStylePListReaderTest SOURCES OldStylePListReaderTest.cpp)
