#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

#include <QByteArray>
#include <QString>

// The scanner's end of a serial line: a pseudo-terminal whose slave device Pelmar opens and whose
// master the caller writes to and reads from. The slave stays open here too, so that the master
// sees no hang-up between one open of the device and the next.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    QString devicePath() const { return m_devicePath; }

    void write(const QByteArray &bytes);
    // Whether Pelmar has taken every byte written so far off the line. Its port lists a read in
    // the same turn of the event loop as it takes the read's last byte, so once this holds, every
    // read written so far is listed.
    bool allRead() const;
    // What Pelmar has sent, collected until quietMs pass with nothing new (or totalMs in all),
    // while the event loop keeps running.
    QByteArray readSent(int quietMs = 50, int totalMs = 2000);
    // Hangs up the line, as an unplugged scanner does.
    void hangUp();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_devicePath;
};

#endif // PSEUDOTERMINAL_H
