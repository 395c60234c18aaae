# The install test (CTest runs it with cmake -P): installs the build into a temporary prefix,
# moves the installed tree elsewhere (so only relative RUNPATHs and the relative bundle path
# can work), runs the installed tool on an example and compares its output with the build's
# own tool.
#   -DBUILD_DIR=… -DSCRATCH=… -DEXAMPLE=…
foreach(var BUILD_DIR SCRATCH EXAMPLE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "InstallTest.cmake needs -D${var}=…")
  endif()
endforeach()

file(REMOVE_RECURSE ${SCRATCH})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${SCRATCH}/installed
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status})")
endif()
file(RENAME ${SCRATCH}/installed ${SCRATCH}/moved)

foreach(file bin/plistbridge lib/plistbridge/PlistBridge.osax/Contents/Info.plist
             share/man/man1/plistbridge.1 share/bash-completion/completions/plistbridge)
  if(NOT EXISTS ${SCRATCH}/moved/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# No installed binary searches an empty or relative folder (with binutils at hand).
find_program(READELF readelf)
if(READELF)
  foreach(file bin/plistbridge lib/plistbridge/PlistBridge.osax/Contents/MacOS/PlistBridge)
    execute_process(COMMAND ${READELF} -d ${SCRATCH}/moved/${file} OUTPUT_VARIABLE dynamic)
    # An element that is empty or starts with neither / nor $ (as in $ORIGIN).
    if(dynamic MATCHES "R(UN)?PATH\\)[^[]*\\[([^]]*)\\]" AND
       CMAKE_MATCH_2 MATCHES "(^|:)(:|$)|(^|:)[^/$:]")
      message(FATAL_ERROR "${file} searches '${CMAKE_MATCH_2}'")
    endif()
  endforeach()
endif()

execute_process(COMMAND ${SCRATCH}/moved/bin/plistbridge load ${EXAMPLE}
                RESULT_VARIABLE status OUTPUT_VARIABLE installed ERROR_VARIABLE error)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the installed tool failed (${status}): ${error}")
endif()
execute_process(COMMAND ${BUILD_DIR}/bin/plistbridge load ${EXAMPLE}
                RESULT_VARIABLE status OUTPUT_VARIABLE built)
if(NOT installed STREQUAL built OR installed STREQUAL "")
  message(FATAL_ERROR "the installed tool printed\n${installed}\nthe built one\n${built}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
