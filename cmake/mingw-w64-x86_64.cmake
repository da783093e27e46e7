# Cross-compiling for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix),
# the compiler with POSIX threads, so that std::thread and thread_local work; the
# runtime is linked in statically, so the programs need no DLL of the compiler.
# Test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAMBLE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAMBLE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAMBLE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAMBLE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAMBLE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The host's pkg-config knows only Linux libraries: none of them may reach this build.
set(PKG_CONFIG_EXECUTABLE "" CACHE FILEPATH "no pkg-config for the Windows build" FORCE)
set(ENV{PKG_CONFIG_LIBDIR} "")

# Wine runs the test programs (the build sets CMAKE_CROSSCOMPILING_EMULATOR with
# the build's own prefix).
find_program(TAMBLE_WINE NAMES wine wine64 PATHS /usr/lib/wine)
