# Copyright (C) 2026 the Pelmar developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs Pelmar for Windows as one folder that runs from wherever it is put: pelmar.exe and its
# console twin pelmar.com with every DLL and Qt plugin they load beside them (what windeployqt
# would copy; a cross build has none), a README for Windows users, the user guide, Pelmar's
# licence and those of everything else the folder carries; and makes the zip and the setup
# program (scripts/package --windows).
# Included by CMakeLists.txt here, which sets what every package shares.
install(TARGETS pelmar pelmar-console RUNTIME DESTINATION .)
configure_file(windows/README.txt.in README.txt @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/user-guide.md DESTINATION . RENAME user-guide.txt)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
# Qt's LGPL, with the exact source of the Qt libraries and the licences of the code Qt builds
# into them, and MinGW's run-time libraries' licences.
install(FILES windows/licenses/Qt.txt windows/licenses/LGPL-3.0.txt
    windows/licenses/Qt-third-party.txt windows/licenses/MinGW-runtime.txt
    DESTINATION licenses)

# Qt finds its plugins in a folder of each kind beside the exe, so there is no qt.conf. The windows
# platform and the native style are all Pelmar loads: its two pictures are read as BMP and PNG by
# name, which Qt Gui reads itself, so no image plugin is shipped.
set(qtLibraries Qt6::Core Qt6::Gui Qt6::Widgets Qt6::SerialPort)
install(IMPORTED_RUNTIME_ARTIFACTS ${qtLibraries} RUNTIME DESTINATION .)
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsIntegrationPlugin LIBRARY DESTINATION platforms)
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsVistaStylePlugin LIBRARY DESTINATION styles)
set(dlls)
foreach(library IN LISTS qtLibraries)
    list(APPEND dlls $<TARGET_FILE_NAME:${library}>)
endforeach()
list(APPEND dlls platforms/$<TARGET_FILE_NAME:Qt6::QWindowsIntegrationPlugin>
    styles/$<TARGET_FILE_NAME:Qt6::QWindowsVistaStylePlugin>)

# MinGW's runtime, which all of the above loads: GCC's C++ library, its unwinder and the posix
# threads.
foreach(name libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no ${name}")
    endif()
    install(PROGRAMS ${path} DESTINATION .)
    list(APPEND dlls ${name})
endforeach()

# CMake strips only what it builds; Qt's and MinGW's DLLs come with their symbols (libstdc++ is
# 23 MB with them, 2 MB without).
install(CODE "set(pelmarDlls \"${dlls}\")\nset(pelmarStrip \"${CMAKE_STRIP}\")")
install(CODE [[
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(dll IN LISTS pelmarDlls)
            execute_process(COMMAND ${pelmarStrip} "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${dll}"
                COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()
]])

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_VENDOR ${PELMAR_VENDOR})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/windows/file-names.cmake)

# The setup program: 64-bit, into Program Files\Pelmar for every user of the machine, with a Start
# menu entry and an entry in the list of installed apps, each with pelmar.exe's own icon.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Pelmar)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Pelmar)
set(CPACK_NSIS_PACKAGE_NAME Pelmar)
set(CPACK_NSIS_DISPLAY_NAME Pelmar)
set(CPACK_PACKAGE_EXECUTABLES pelmar Pelmar)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME pelmar.exe)
set(CPACK_NSIS_MUI_ICON ${CMAKE_CURRENT_SOURCE_DIR}/windows/pelmar.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_CURRENT_SOURCE_DIR}/windows/pelmar.ico)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# The licence page shows the GPL with Next, not "I Agree": nobody needs to accept it to install
# or run Pelmar, only to pass it on.
set(licenceTop "Pelmar is free software under the GNU General Public License, version 3 or later.")
set(licenceBottom "You need not accept this licence to install or use Pelmar. It sets the terms \
on which you may pass Pelmar on, changed or not.")
string(JOIN "\n" CPACK_NSIS_DEFINES "${CPACK_NSIS_DEFINES}"
    "!define MUI_LICENSEPAGE_TEXT_TOP \"${licenceTop}\""
    "!define MUI_LICENSEPAGE_TEXT_BOTTOM \"${licenceBottom}\""
    "!define MUI_LICENSEPAGE_BUTTON \"$(^NextBtn)\"")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# A new version replaces the old one whole, leaving none of its files behind.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The setup program keeps the install folder under Software\<vendor>\Pelmar. CPack's uninstaller
# deletes that key only after these commands, and never the vendor's, which would be left empty.
string(JOIN "\n" CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS
    "DeleteRegKey SHCTX \"Software\\${CPACK_PACKAGE_VENDOR}\\${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}\""
    "DeleteRegKey /ifempty SHCTX \"Software\\${CPACK_PACKAGE_VENDOR}\"")
include(CPack)
