#pragma once

#include "TempRoot.h"

// "mountpoint DIR" for a simulated root: true when the root's mtab lists DIR;
// every call is added to the USB simulator's call record.
inline void installMountpointStandIn(const TempRoot& root)
{
    root.writeScript(QStringLiteral("/bin/mountpoint"),
                     "root=$(cd \"$(dirname \"$0\")/..\" && pwd)\n"
                     "mkdir -p \"$root/run/kova-sim/usb\"\n"
                     "echo \"mountpoint $*\" >> \"$root/run/kova-sim/usb/calls\"\n"
                     "awk -v d=\"$1\" '$2 == d { found = 1 } END { exit found ? 0 : 1 }' \"$root/etc/mtab\"\n");
}
