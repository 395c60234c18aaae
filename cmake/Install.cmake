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

set_target_properties(plistbridge PROPERTIES INSTALL_RPATH "$ORIGIN/${_tool_to_lib}")
set_target_properties(PlistBridge PROPERTIES INSTALL_RPATH "$ORIGIN/${_bundle_to_lib}")
# The installed tool finds the bundle there when none sits beside it (the build tree's layout).
target_compile_definitions(plistbridge_host PRIVATE
  PLISTBRIDGE_INSTALLED_BUNDLE="${_tool_to_bundle}")

install(TARGETS plistbridge RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS Platform LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS PlistBridge LIBRARY DESTINATION ${PLISTBRIDGE_INSTALL_BUNDLE_DIR}/Contents/MacOS)
install(FILES ${PROJECT_SOURCE_DIR}/shell/Info.plist
        DESTINATION ${PLISTBRIDGE_INSTALL_BUNDLE_DIR}/Contents)
install(FILES ${PROJECT_SOURCE_DIR}/shell/PlistBridge.sdef
        DESTINATION ${PLISTBRIDGE_INSTALL_BUNDLE_DIR}/Contents/Resources)
# The man page and the bash completion (picked up from share/bash-completion/completions).
install(FILES ${PROJECT_SOURCE_DIR}/docs/plistbridge.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/docs/plistbridge.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME plistbridge)
