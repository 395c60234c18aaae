# cmake --install: the tool, the platform library and the bundle in the usual layout,
#   bin/plistbridge
#   lib/libPlistBridgePlatform.so
#   lib/plistbridge/PlistBridge.osax/Contents/{Info.plist, MacOS/PlistBridge, Resources/…}
# with RUNPATHs relative to each binary ($ORIGIN), so the installed tree can be moved whole.
include(GNUInstallDirs)
set(PLISTBRIDGE_INSTALL_BUNDLE_DIR ${CMAKE_INSTALL_LIBDIR}/plistbridge/PlistBridge.osax)

# $ORIGIN-relative path from the folder `from` to the folder `to` (both under the prefix).
function(plistbridge_relative_path out from to)
  file(RELATIVE_PATH rel /prefix/${from} /prefix/${to})
  string(REGEX REPLACE "/$" "" rel "${rel}")
  if(rel STREQUAL "")
    set(rel ".")
  endif()
  set(${out} ${rel} PARENT_SCOPE)
endfunction()

plistbridge_relative_path(_tool_to_lib ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_LIBDIR})
plistbridge_relative_path(_bundle_to_lib ${PLISTBRIDGE_INSTALL_BUNDLE_DIR}/Contents/MacOS
                          ${CMAKE_INSTALL_LIBDIR})
plistbridge_relative_path(_tool_to_bundle ${CMAKE_INSTALL_BINDIR} ${PLISTBRIDGE_INSTALL_BUNDLE_DIR})

# plistbridge_runpath(target BUILD_RUNPATH INSTALLED_RUNPATH DESTINATION): the binary is built
# with BUILD_RUNPATH (repeated until it is at least as long as INSTALLED_RUNPATH, so that
# install can rewrite it in place without padding it with empty elements, which would mean the
# current directory) and installed into DESTINATION with INSTALLED_RUNPATH.
function(plistbridge_runpath target build installed destination)
  set(runpath "${build}")
  string(LENGTH "${installed}" need)
  string(LENGTH "${runpath}" have)
  while(have LESS need)
    string(APPEND runpath ":${build}")
    string(LENGTH "${runpath}" have)
  endwhile()
  set_target_properties(${target} PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "${runpath}")
  if(NOT runpath STREQUAL installed)
    install(CODE "file(RPATH_CHANGE
      FILE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/$<TARGET_FILE_NAME:${target}>\"
      OLD_RPATH \"${runpath}\" NEW_RPATH \"${installed}\")")
  endif()
endfunction()

# The platform library needs none; the tool none when it carries the platform inside itself.
set_target_properties(Platform PROPERTIES INSTALL_RPATH "")
# The installed tool finds the bundle there when none sits beside it (the build tree's layout).
target_compile_definitions(plistbridge_host PRIVATE
  PLISTBRIDGE_INSTALLED_BUNDLE="${_tool_to_bundle}")

install(TARGETS plistbridge RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS Platform LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS PlistBridge LIBRARY DESTINATION ${PLISTBRIDGE_INSTALL_BUNDLE_DIR}/Contents/MacOS)
get_target_property(_static_tool plistbridge PLISTBRIDGE_STATIC_PLATFORM)
if(_static_tool)
  set_target_properties(plistbridge PROPERTIES INSTALL_RPATH "")
else()
  plistbridge_runpath(plistbridge "$ORIGIN/../lib" "$ORIGIN/${_tool_to_lib}" ${CMAKE_INSTALL_BINDIR})
endif()
# In the build tree the bundle sits in build/bin, the platform library in build/lib.
plistbridge_runpath(PlistBridge "$ORIGIN/../../../../lib" "$ORIGIN/${_bundle_to_lib}"
                    ${PLISTBRIDGE_INSTALL_BUNDLE_DIR}/Contents/MacOS)
install(FILES ${PROJECT_SOURCE_DIR}/shell/Info.plist
        DESTINATION ${PLISTBRIDGE_INSTALL_BUNDLE_DIR}/Contents)
install(FILES ${PROJECT_SOURCE_DIR}/shell/PlistBridge.sdef
        DESTINATION ${PLISTBRIDGE_INSTALL_BUNDLE_DIR}/Contents/Resources)
# The man page and the bash completion (picked up from share/bash-completion/completions).
install(FILES ${PROJECT_SOURCE_DIR}/docs/plistbridge.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/docs/plistbridge.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME plistbridge)
