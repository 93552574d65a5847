# Copyright (C) 2026 the Pelmar developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Cross build for Windows x64 on a Debian amd64 machine with mingw-w64, against a Qt for Windows
# (scripts/qt-windows installs the compilers and prints that Qt's prefix). The prefix is taken
# from PELMAR_QT_WINDOWS, given to CMake or set in the environment, else the prebuilt Qt that
# scripts/qt-windows unpacks. moc, rcc and uic are the build machine's Qt 6.4.2 tools.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# Qt's threads need the posix thread model; the win32 one lacks std::thread in GCC 12.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT PELMAR_QT_WINDOWS)
    if(DEFINED ENV{PELMAR_QT_WINDOWS} AND NOT "$ENV{PELMAR_QT_WINDOWS}" STREQUAL "")
        set(PELMAR_QT_WINDOWS "$ENV{PELMAR_QT_WINDOWS}")
    else()
        set(PELMAR_QT_WINDOWS /var/cache/pelmar/qt-6.4.2-mingw-x64/qt6-mingw)
    endif()
endif()
set(PELMAR_QT_WINDOWS "${PELMAR_QT_WINDOWS}" CACHE PATH "The Qt for Windows built against")
# try_compile reads this file again in a project of its own, which needs the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PELMAR_QT_WINDOWS)

# Only the Windows libraries and Qt are searched, so that nothing of the build machine's Linux Qt
# or libraries is linked by mistake; programs (moc and the like) are the build machine's. Qt's
# prefix is a find root, so find_package(Qt6) needs no CMAKE_PREFIX_PATH.
set(CMAKE_FIND_ROOT_PATH "${PELMAR_QT_WINDOWS}" /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(QT_HOST_PATH /usr CACHE PATH "The build machine's Qt, whose tools a cross build runs")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH
    "Where the build machine's Qt tools have their CMake packages")
