# Windows x86-64 with Debian's MinGW-w64 cross compiler (POSIX threads variant,
# for std::thread). Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Self-contained executables: no MinGW runtime DLLs to ship or to find under Wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# GCC 12 warns falsely on "text" + std::string (GCC bug 105329).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
# ctest runs the Windows executables through Wine.
find_program(ORVANTA_WINE NAMES wine wine64)
if(ORVANTA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVANTA_WINE})
endif()
