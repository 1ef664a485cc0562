#!/bin/sh
# Installed beside the programs in /opt/KOVA3/bin. ifupdown runs it before it
# brings up an Ethernet interface (pre-up), with the interface's name, and
# configures the interface only when it succeeds: a port without a cable is
# never configured. The carrier of a down interface cannot be read, so the
# link is brought up first and given a few seconds to come.
# KOVA3_ROOT, unset on the instrument, is the folder standing for "/".
iface=$1
root=${KOVA3_ROOT:-}
[ "$root" = / ] && root=
[ -n "$iface" ] && [ -d "$root/sys/class/net/$iface" ] || exit 1
carrier="$root/sys/class/net/$iface/carrier"

[ "$(cat "$carrier" 2>/dev/null)" = 1 ] && exit 0
"$root/sbin/ip" link set dev "$iface" up 2>/dev/null || exit 1
tries=0
while [ $tries -lt 50 ]; do
    sleep 0.1
    [ "$(cat "$carrier" 2>/dev/null)" = 1 ] && exit 0
    tries=$((tries + 1))
done
exit 1
