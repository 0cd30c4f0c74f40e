# Cross build for 64-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-x86-64). The posix thread
# flavour of the compiler gives the standard library its threads. Programs are linked statically, so that
# corvane-cli.exe runs without any DLL beside it; tests run under Wine when it is installed.
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CORVANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CORVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Header-only libraries of the build machine, each seen on its own (see mingw-packages/).
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-packages)

find_program(CORVANE_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT CORVANE_WINE)
    find_program(CORVANE_WINE NAMES wine wine64)
endif()
if(CORVANE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVANE_WINE})
endif()

# pkg-config answers for the Windows libraries only, never with the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} ${CMAKE_FIND_ROOT_PATH}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
