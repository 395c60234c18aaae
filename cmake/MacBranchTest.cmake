cmake_minimum_required(VERSION 3.25)
# The macOS branch of the build, checked on Linux (CTest runs it with cmake -P): the project is
# configured with the Darwin toolchain file against an empty stand-in for the SDK (no macOS SDK
# is at hand here; the compiler checks then compile without linking), and the generated build
# must make only PlistBridge.osax, in its bundle layout, linked as a Mach-O bundle against the
# frameworks with the exported-symbols list, and install it into ~/Library/ScriptingAdditions.
# When lld's Mach-O linker is there too, a stub of the five entry points is linked with the
# generated link flags and must export exactly those five.
#   -DSOURCE_DIR=… -DSCRATCH=… -DGENERATOR=…
foreach(var SOURCE_DIR SCRATCH GENERATOR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "MacBranchTest.cmake needs -D${var}=…")
  endif()
endforeach()

find_program(CLANG NAMES clang clang-14 clang-15 clang-16)
if(NOT CLANG)
  message("MAC-BRANCH-SKIPPED: no clang to configure the cross build with")
  return()
endif()

file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/sdk)
set(build ${SCRATCH}/build)
set(ENV{HOME} ${SCRATCH}/home)
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build} -G ${GENERATOR}
          -DCMAKE_TOOLCHAIN_FILE=${SOURCE_DIR}/cmake/Darwin-x86_64.toolchain.cmake
          -DPLISTBRIDGE_MACOS_SDK=${SCRATCH}/sdk -DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configuring with the Darwin toolchain failed:\n${output}")
endif()

function(expect_match what text regex)
  if(NOT text MATCHES "${regex}")
    message(FATAL_ERROR "${what}: no match for '${regex}'")
  endif()
endfunction()
function(expect_absent what text part)
  string(FIND "${text}" "${part}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${what}: unexpected '${part}'")
  endif()
endfunction()

file(READ ${build}/build.ninja ninja)
file(READ ${build}/CMakeFiles/rules.ninja rules)
set(executable "bin/PlistBridge.osax/Contents/MacOS/PlistBridge")
expect_match("the bundle's executable" "${ninja}" "build ${executable}: CXX_MODULE_LIBRARY")
expect_match("the scripting dictionary" "${ninja}"
             "build bin/PlistBridge.osax/Contents/Resources/PlistBridge.sdef:")
expect_match("the exported symbols" "${ninja}"
             "LINK_FLAGS = [^\n]*-exported_symbols_list -Xlinker [^\n]*/shell/exports.txt")
expect_match("lld's Mach-O linker" "${ninja}" "LINK_FLAGS = [^\n]*-fuse-ld=lld")
expect_match("the frameworks" "${ninja}"
             "LINK_LIBRARIES = -framework CoreFoundation +-framework CoreServices\n")
expect_match("x86_64 by default" "${ninja}" "ARCH_FLAGS = -arch x86_64 -isysroot [^\n]*/sdk ")
expect_match("a Mach-O bundle" "${rules}" "--target=x86_64-apple-macos12 [^\n]* -bundle ")
foreach(source shell/SAEntryPoints desc/TextReaders convert/PropertyListToDesc
               commands/LoadPList commands/StorePList)
  expect_match("the addition's sources" "${ninja}" "${source}.cpp.o: CXX_COMPILER")
endforeach()
# Nothing of the Linux build: no stand-in, host, tool, notation, tests, benchmarks, fuzzers.
foreach(absent platform host notation tools tests bench fuzz)
  expect_absent("the Mac build" "${ninja}" "${SOURCE_DIR}/${absent}/")
endforeach()
foreach(absent PlistBridgePlatform bin/plistbridge version-script)
  expect_absent("the Mac build" "${ninja}" "${absent}")
endforeach()

file(READ ${SOURCE_DIR}/shell/Info.plist template)
file(READ ${build}/bin/PlistBridge.osax/Contents/Info.plist placed)
if(NOT placed STREQUAL template)
  message(FATAL_ERROR "Contents/Info.plist is not shell/Info.plist")
endif()

file(READ ${build}/CMakeCache.txt cache)
expect_match("the default prefix" "${cache}"
             "CMAKE_INSTALL_PREFIX:PATH=${SCRATCH}/home/Library/ScriptingAdditions\n")
file(READ ${build}/cmake_install.cmake install)
expect_match("the installed bundle" "${install}"
             "file\\(INSTALL DESTINATION \"\\\${CMAKE_INSTALL_PREFIX}/\\.\" TYPE DIRECTORY FILES \"${build}/bin/PlistBridge.osax\"")

# The link flags on a stub of the entry points (and one helper that must stay hidden).
find_program(LD64_LLD NAMES ld64.lld ld64.lld-14 ld64.lld-15 ld64.lld-16
             PATHS /usr/lib/llvm-14/bin /usr/lib/llvm-15/bin /usr/lib/llvm-16/bin)
find_program(LLVM_NM NAMES llvm-nm llvm-nm-14 llvm-nm-15 llvm-nm-16)
if(NOT LD64_LLD OR NOT LLVM_NM)
  message("MAC-BRANCH-LINK-SKIPPED: no ld64.lld or llvm-nm; the configuration checks passed")
  return()
endif()
string(REGEX MATCH "ARCH_FLAGS = ([^\n]*)\n" _ "${ninja}")
separate_arguments(arch_flags UNIX_COMMAND "${CMAKE_MATCH_1}")
string(REGEX MATCH "build ${executable}:[^#]*LINK_FLAGS = ([^\n]*)\n" _ "${ninja}")
separate_arguments(link_flags UNIX_COMMAND "${CMAKE_MATCH_1}")
file(WRITE ${SCRATCH}/stub.c
     "int SAInitialize(void *b) { return b != 0; }\nvoid SATerminate(void) {}\n"
     "unsigned char SAIsBusy(void) { return 0; }\nint Helper(void) { return 3; }\n"
     "int LoadPList(void) { return Helper(); }\nint StorePList(void) { return 2; }\n")
execute_process(
  COMMAND ${CLANG} --target=x86_64-apple-macos12 ${arch_flags} -c ${SCRATCH}/stub.c
          -o ${SCRATCH}/stub.o
  COMMAND_ERROR_IS_FATAL ANY)
# The stand-in SDK has no libSystem to link against: the stub leaves the C library out.
execute_process(
  COMMAND ${CLANG} --target=x86_64-apple-macos12 ${arch_flags} -bundle ${link_flags} -nostdlib
          -Wl,-undefined,dynamic_lookup -o ${SCRATCH}/PlistBridge ${SCRATCH}/stub.o
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "linking a stub with the bundle's link flags failed:\n${output}")
endif()
execute_process(COMMAND ${LLVM_NM} -g --defined-only ${SCRATCH}/PlistBridge
                OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX REPLACE "[0-9a-f]+ T " "" symbols "${symbols}")
string(REPLACE "\n" ";" symbols "${symbols}")
list(REMOVE_ITEM symbols "")
list(SORT symbols)
if(NOT symbols STREQUAL "_LoadPList;_SAInitialize;_SAIsBusy;_SATerminate;_StorePList")
  message(FATAL_ERROR "the stub exports: ${symbols}")
endif()
# MH_MAGIC_64, then at offset 12 the file type MH_BUNDLE (8), both little-endian.
file(READ ${SCRATCH}/PlistBridge magic LIMIT 4 HEX)
file(READ ${SCRATCH}/PlistBridge filetype OFFSET 12 LIMIT 4 HEX)
if(NOT magic STREQUAL "cffaedfe" OR NOT filetype STREQUAL "08000000")
  message(FATAL_ERROR "not a 64-bit Mach-O bundle: ${magic} ${filetype}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
