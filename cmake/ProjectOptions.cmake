# Warnings and sanitizers for the project's own targets (not for third-party code).
add_library(project_options INTERFACE)
# Four-char codes are written as multi-character literals ('utxt'), as on the real platform.
target_compile_options(project_options INTERFACE -Wall -Wextra -Wno-multichar)
# Off by default: a newer compiler's new warning must not break a user's build. CI turns it on.
option(PLISTBRIDGE_WERROR "Treat compiler warnings as errors" OFF)
if(PLISTBRIDGE_WERROR)
  target_compile_options(project_options INTERFACE -Werror)
endif()

if(PLISTBRIDGE_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(-fsanitize=address,undefined)
endif()

if(PLISTBRIDGE_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "PLISTBRIDGE_FUZZ needs clang (CXX=clang++)")
endif()

# project_target(name): apply the project's warnings to one of our targets.
function(project_target name)
  target_link_libraries(${name} PRIVATE project_options)
endfunction()
