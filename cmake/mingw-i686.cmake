# Cross build for 32-bit Windows with Debian's MinGW-w64 compilers, runtime linked statically,
# tests run under Wine. Every binary runs on Windows XP SP3 and later: the compilers' win32
# thread model, so that no POSIX-threads runtime (which imports GetTickCount64, Vista's) is
# linked in, and images that ask for Windows 5.01 (XP) at most.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(xp_image "-Wl,--major-subsystem-version,5,--minor-subsystem-version,1")
string(APPEND xp_image " -Wl,--major-os-version,5,--minor-os-version,1")
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++ ${xp_image}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ ${xp_image}")

# CTest runs every Windows test program through this wrapper: the build's own Wine
# prefix, quiet Wine, and a time limit of its own besides CTest's.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
