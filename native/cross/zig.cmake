# Cross-builds with Zig's bundled clang, which carries the C library stubs and the C++ library
# for every target we ship: Linux against glibc 2.17 with libc++ linked in, macOS, and Windows
# on ARM64 (MinGW-w64 runtime linked in). One pinned download instead of a toolchain per target.
#
# Set on the command line:
#   ZIG           the zig executable
#   ZIG_TARGET    Zig's target triple, e.g. aarch64-linux-gnu.2.17, x86_64-macos.11.0
#   ZIG_CPU       optional: the oldest CPU to run on, as zig's -mcpu takes it
#   CMAKE_SYSTEM_NAME / CMAKE_SYSTEM_PROCESSOR  Linux, Darwin or Windows / the CPU
#   CMAKE_CROSSCOMPILING_EMULATOR  optional: runs the target's programs (qemu) for the tests
if(NOT ZIG OR NOT ZIG_TARGET)
  message(FATAL_ERROR "Set ZIG (the zig executable) and ZIG_TARGET (a Zig target triple)")
endif()
# try_compile projects inherit these from the cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZIG ZIG_TARGET ZIG_CPU)
set(zig_target_flags "-target ${ZIG_TARGET}")
if(ZIG_CPU)
  string(APPEND zig_target_flags " -mcpu=${ZIG_CPU}")
endif()

# CMake wants one program per tool; each wrapper passes the target to one zig subcommand.
set(zig_wrappers "${CMAKE_BINARY_DIR}/zig-wrappers")
function(zig_wrapper name command)
  file(WRITE "${zig_wrappers}/${name}.tmp" "#!/bin/sh\nexec \"${ZIG}\" ${command} \"$@\"\n")
  file(COPY_FILE "${zig_wrappers}/${name}.tmp" "${zig_wrappers}/${name}" ONLY_IF_DIFFERENT)
  file(CHMOD "${zig_wrappers}/${name}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
       GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endfunction()
zig_wrapper(cc "cc ${zig_target_flags}")
zig_wrapper(c++ "c++ ${zig_target_flags}")
zig_wrapper(ar "ar")
zig_wrapper(ranlib "ranlib")
set(CMAKE_C_COMPILER "${zig_wrappers}/cc")
set(CMAKE_CXX_COMPILER "${zig_wrappers}/c++")
set(CMAKE_AR "${zig_wrappers}/ar" CACHE FILEPATH "archiver")
set(CMAKE_RANLIB "${zig_wrappers}/ranlib" CACHE FILEPATH "ranlib")
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  zig_wrapper(dlltool "dlltool -m arm64")
  set(CMAKE_DLLTOOL "${zig_wrappers}/dlltool")
  set(CMAKE_RC_COMPILER "${zig_wrappers}/rc")
  zig_wrapper(rc "rc")
endif()
set(FTDI_ZIG ON)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
