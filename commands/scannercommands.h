// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SCANNERCOMMANDS_H
#define SCANNERCOMMANDS_H

#include <QString>

// The scanner's fixed commands as the hex text that SendHex turns into bytes. Each is a frame
// (STX, an ASCII body starting "STI", ETX, a check byte) except Off, which is a lone ESC. The
// bytes go out exactly as stored: the scanner reads the check bytes, Pelmar computes none.
namespace ScannerCommands {

inline constexpr char On[] = "02535449450308";
inline constexpr char Off[] = "1b";
inline constexpr char Host[] = "0253544948313630350307";
inline constexpr char Constant[] = "0253544948313630340306";

// Default parameters: 67 bytes, stored in three pieces. Its check byte, 0x0F, leaves ETX out of
// the exclusive-or, unlike the others; it is sent as stored.
inline constexpr char DefaultPiece1[] = "02535449473e333133303c3030303430303030303030";
inline constexpr char DefaultPiece2[] = "30303430363031303230373030303030303031303130";
inline constexpr char DefaultPiece3[] = "3a303130313030303e3030303c30303830303d303a030f";

QString defaultCommand();

} // namespace ScannerCommands

#endif // SCANNERCOMMANDS_H
