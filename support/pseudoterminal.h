// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

// The scanner's end of a serial line: a pseudo-terminal whose slave device Pelmar opens and whose
// master the caller writes to and reads from. The slave stays open on this side too, so that the
// master sees no hang-up between one open of the device and the next. On Linux the pair is this
// program's own (pseudoterminal_unix.cpp); on Windows, which has none, the tests' line server
// beside Wine makes it (tests/wine/lineserver, at the address in PELMAR_LINE_SERVER), gives its
// device a COM name and carries the master over a local socket (pseudoterminal_win.cpp).
class PseudoTerminal
{
public:
    // The bits of modemLines(), as TIOCMGET gives them.
    static constexpr int DataTerminalReady = 0x002; // TIOCM_DTR
    static constexpr int RequestToSend = 0x004; // TIOCM_RTS

    enum class Naming {
        Device, // the device's own name: /dev/pts/N; on Windows a free COM name of the pool
        Lasting, // a name that stays while the line is unplugged, as a by-id link or a COM name
    };

    explicit PseudoTerminal(Naming naming = Naming::Device);
    // A line under the lasting name given: on Linux a link at that path to the device, on Windows
    // that COM name of the line server's pool (COM12, say).
    explicit PseudoTerminal(const QString &name);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // The device as the system lists it: the slave's /dev/pts/N on Linux, the COM name on Windows.
    QString devicePath() const;
    // What Pelmar opens: the lasting name when the line has one, else the device.
    QString name() const;

    void write(const QByteArray &bytes);
    // Whether Pelmar has taken every byte written so far off the line. Its port lists a read in
    // the same turn of the event loop as it takes the read's last byte, so once this holds, every
    // read written so far is listed. On Windows the event loop runs a moment first, while Qt
    // learns that its read has ended.
    bool allRead() const;
    // What Pelmar has sent, collected until quietMs pass with nothing new (or totalMs in all),
    // while the event loop keeps running.
    QByteArray readSent(int quietMs = 50, int totalMs = 2000);
    // Hangs up the line, as an unplugged scanner does: the pair is closed, and a lasting name
    // removed.
    void hangUp();
    // Plugs the scanner in again after hangUp(): a new pair under the same lasting name (on Linux
    // a line without one gets a new /dev/pts/N).
    void plugIn();
    // The DTR and RTS lines (DataTerminalReady, RequestToSend) as the port set them, seen at the
    // scanner's end; none where the line cannot tell, as on Linux, whose pseudo-terminals have
    // no modem lines.
    std::optional<int> modemLines() const;

private:
    struct Line;
    std::unique_ptr<Line> m_line;
};

#endif // PSEUDOTERMINAL_H
