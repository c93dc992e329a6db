# Building the Windows programs on Debian: MinGW-w64 for 64-bit Windows with POSIX threads (the thread model
# MinGW builds of Qt use), and a MinGW build of Qt 5.15 whose moc, rcc and uic run on this machine.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQT_WIN_PREFIX=/path/to/qt5-win64
# scripts/build-windows.sh does this and packs the result.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT QT_WIN_PREFIX)
    set(QT_WIN_PREFIX "$ENV{QT_WIN_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${QT_WIN_PREFIX}")
set(CMAKE_PREFIX_PATH "${QT_WIN_PREFIX}")
# Programs (moc, rcc, uic) are this machine's; headers, libraries and packages only the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
