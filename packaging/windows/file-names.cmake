# Copyright (C) 2026 the Pelmar developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Read by CPack before each generator runs (CPACK_PROJECT_CONFIG_FILE): the zip and the setup
# program of one version are named apart, both for 64-bit Windows.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "pelmar-${CPACK_PACKAGE_VERSION}-setup-x64")
else()
    set(CPACK_PACKAGE_FILE_NAME "pelmar-${CPACK_PACKAGE_VERSION}-windows-x64")
endif()
