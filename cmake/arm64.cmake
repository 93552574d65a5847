# Copyright (C) 2026 the Pelmar developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Cross build for Debian's arm64 (a Raspberry Pi's 64-bit system) on an amd64 machine with the
# arm64 libraries installed beside its own (dpkg --add-architecture arm64): scripts/build --arch
# arm64 sets this up. moc, uic and rcc are the build machine's; tests run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /)
