# Copyright (C) 2026 the Pelmar developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Cross build for Debian's armhf (a Raspberry Pi's 32-bit system: ARMv7, hard float) on an amd64
# machine with the armhf libraries installed beside its own (dpkg --add-architecture armhf):
# scripts/build --arch armhf sets this up. moc, uic and rcc are the build machine's; tests run
# under qemu-user on a Raspberry Pi 2's core, the oldest that Debian's armhf runs on, so that an
# instruction newer than that fails them (scripts/architecture-table names the same core for the
# programs the tests start).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm-static -cpu cortex-a7 -L /)
