# The scripting addition: shell/, desc/, convert/ and commands/ compiled once into an
# object library that both the loadable bundle and the unit tests use.
add_library(plistbridge_core OBJECT)
target_include_directories(plistbridge_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(plistbridge_core PUBLIC Platform PRIVATE project_options)
target_compile_options(plistbridge_core PRIVATE -fvisibility=hidden -fvisibility-inlines-hidden)

add_subdirectory(shell)
add_subdirectory(desc)
add_subdirectory(convert)
add_subdirectory(commands)

# PlistBridge.osax/Contents/{Info.plist, MacOS/PlistBridge, Resources/PlistBridge.sdef}
set(PLISTBRIDGE_BUNDLE_DIR ${PROJECT_BINARY_DIR}/bin/PlistBridge.osax CACHE INTERNAL "")
add_library(PlistBridge MODULE $<TARGET_OBJECTS:plistbridge_core>)
target_link_libraries(PlistBridge PRIVATE Platform)
set_target_properties(PlistBridge PROPERTIES
  PREFIX "" SUFFIX ""
  LIBRARY_OUTPUT_DIRECTORY ${PLISTBRIDGE_BUNDLE_DIR}/Contents/MacOS)
# Only the five entry points leave the bundle.
target_link_options(PlistBridge PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/shell/exports.map)
# Every symbol resolved at link time, except where clang's sanitizer and fuzzer runtimes are
# only linked into the executable that loads the bundle.
if(NOT (CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND (PLISTBRIDGE_SANITIZE OR PLISTBRIDGE_FUZZ)))
  target_link_options(PlistBridge PRIVATE -Wl,--no-undefined)
endif()
set_property(TARGET PlistBridge APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/shell/exports.map)
foreach(res Info.plist:Contents/Info.plist PlistBridge.sdef:Contents/Resources/PlistBridge.sdef)
  string(REPLACE ":" ";" pair ${res})
  list(GET pair 0 src)
  list(GET pair 1 dst)
  configure_file(${PROJECT_SOURCE_DIR}/shell/${src} ${PLISTBRIDGE_BUNDLE_DIR}/${dst} COPYONLY)
endforeach()
