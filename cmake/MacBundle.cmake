# The scripting addition for macOS: PlistBridge.osax built from shell/, desc/, convert/ and
# commands/ against the real frameworks. Nothing else of the project is built here: the
# platform stand-in, the host, the tool and the tests exist for the Linux build only.
#
#   PlistBridge.osax/Contents/Info.plist                  shell/Info.plist
#   PlistBridge.osax/Contents/MacOS/PlistBridge           a Mach-O bundle (MH_BUNDLE)
#   PlistBridge.osax/Contents/Resources/PlistBridge.sdef  shell/PlistBridge.sdef
#
# The bundle exports the five entry points of shell/exports.txt and nothing else.
# CMAKE_OSX_ARCHITECTURES chooses the architectures (x86_64 by default, see CMakeLists.txt).

# The sources add themselves to this object library (shell/CMakeLists.txt and its siblings).
add_library(plistbridge_core OBJECT)
target_include_directories(plistbridge_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(plistbridge_core PRIVATE project_options)
target_compile_options(plistbridge_core PRIVATE -fvisibility=hidden -fvisibility-inlines-hidden)
# The load and store calls the design prescribes are deprecated in the current SDKs: they stay
# reported, but never fail a build that turns warnings into errors.
target_compile_options(plistbridge_core PRIVATE -Wno-error=deprecated-declarations)

add_subdirectory(shell)
add_subdirectory(desc)
add_subdirectory(convert)
add_subdirectory(commands)

set(_resources ${PROJECT_SOURCE_DIR}/shell/PlistBridge.sdef)
set_source_files_properties(${_resources} PROPERTIES MACOSX_PACKAGE_LOCATION Resources)
add_library(PlistBridge MODULE $<TARGET_OBJECTS:plistbridge_core> ${_resources})
set_target_properties(PlistBridge PROPERTIES
  BUNDLE TRUE
  BUNDLE_EXTENSION osax
  MACOSX_BUNDLE_INFO_PLIST ${PROJECT_SOURCE_DIR}/shell/Info.plist
  LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
target_link_libraries(PlistBridge PRIVATE
  "-framework CoreFoundation" "-framework CoreServices")
set(_exports ${PROJECT_SOURCE_DIR}/shell/exports.txt)
target_link_options(PlistBridge PRIVATE "LINKER:-exported_symbols_list,${_exports}")
set_property(TARGET PlistBridge APPEND PROPERTY LINK_DEPENDS ${_exports})

# cmake --install build: into the user's scripting additions unless a prefix is given
# (cmake --install build --prefix /Library/ScriptingAdditions for every user).
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/Library/ScriptingAdditions" CACHE PATH
      "Folder the addition is installed into" FORCE)
endif()
install(TARGETS PlistBridge LIBRARY DESTINATION .)
