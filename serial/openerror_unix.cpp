// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "openerror.h"

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The group that may open the device: dialout on Debian, uucp on Arch, whatever this node says.
// Empty for root's, which is what udev leaves on a node it has not finished setting up.
QString deviceGroup(const QString &path)
{
    struct stat node
    {
    };
    if (stat(path.toLocal8Bit().constData(), &node) != 0 || node.st_gid == 0)
        return {};
    const group *owner = getgrgid(node.st_gid);
    return owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(node.st_gid);
}

} // namespace

// Qt reports a busy device and a missing permission alike; the file mode tells them apart.
RunTimeError permissionError(const QString &path, const QString &reason)
{
    if (access(path.toLocal8Bit().constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        const QString group = deviceGroup(path);
        return RunTimeError(
            RunTimeError::PortNoPermission,
            group.isEmpty()
                ? QStringLiteral("No permission to open the serial port %1, which only root "
                                 "may open.")
                      .arg(path)
                : QStringLiteral("No permission to open the serial port %1: the user must be "
                                 "in its group %2 (sudo usermod -aG %2 $USER, then log out "
                                 "and in again).")
                      .arg(path, group));
    }
    return RunTimeError(
        RunTimeError::PortAlreadyOpen,
        QStringLiteral("The serial port %1 is in use by another program (%2).").arg(path, reason));
}
