# Cross-building the addition for macOS from Linux: clang for an x86_64 macOS 12 target, lld's
# Mach-O linker (ld64.lld), and a macOS SDK that the user provides (it is not part of this
# project and cannot be fetched by it):
#
#   cmake -S . -B build-mac -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/Darwin-x86_64.toolchain.cmake \
#     -DPLISTBRIDGE_MACOS_SDK=/path/to/MacOSX12.3.sdk
#   cmake --build build-mac        # build-mac/bin/PlistBridge.osax
#
# PLISTBRIDGE_MACOS_SDK may also come from the environment (PLISTBRIDGE_MACOS_SDK or SDKROOT).
# -DCMAKE_OSX_ARCHITECTURES="x86_64;arm64" adds Apple silicon; clang then needs `lipo` (for
# instance llvm-lipo under that name) on the PATH to join the two.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# Darwin 21 is macOS 12.
set(CMAKE_SYSTEM_VERSION 21)

set(PLISTBRIDGE_MACOS_TARGET x86_64-apple-macos12)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${PLISTBRIDGE_MACOS_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${PLISTBRIDGE_MACOS_TARGET})
# clang runs ld64.lld for a Darwin target given -fuse-ld=lld.
set(CMAKE_EXE_LINKER_FLAGS_INIT -fuse-ld=lld)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -fuse-ld=lld)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -fuse-ld=lld)

# The SDK: a cache variable, so that try_compile projects and later runs see the same one.
if(NOT PLISTBRIDGE_MACOS_SDK)
  if(DEFINED ENV{PLISTBRIDGE_MACOS_SDK})
    set(PLISTBRIDGE_MACOS_SDK "$ENV{PLISTBRIDGE_MACOS_SDK}")
  elseif(DEFINED ENV{SDKROOT})
    set(PLISTBRIDGE_MACOS_SDK "$ENV{SDKROOT}")
  endif()
endif()
if(NOT PLISTBRIDGE_MACOS_SDK OR NOT IS_DIRECTORY "${PLISTBRIDGE_MACOS_SDK}")
  message(FATAL_ERROR "Cross-building for macOS needs a macOS SDK: "
                      "-DPLISTBRIDGE_MACOS_SDK=/path/to/MacOSX12.sdk (or SDKROOT in the "
                      "environment); got '${PLISTBRIDGE_MACOS_SDK}'")
endif()
set(PLISTBRIDGE_MACOS_SDK "${PLISTBRIDGE_MACOS_SDK}" CACHE PATH "The macOS SDK to build against")
set(CMAKE_OSX_SYSROOT "${PLISTBRIDGE_MACOS_SDK}" CACHE PATH "" FORCE)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PLISTBRIDGE_MACOS_SDK)

# Headers and frameworks from the SDK only; programs (the compiler, the linker) from the host.
set(CMAKE_FIND_ROOT_PATH "${PLISTBRIDGE_MACOS_SDK}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_FRAMEWORK ONLY)
