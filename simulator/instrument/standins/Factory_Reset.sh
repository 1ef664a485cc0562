#!/bin/sh
# Stand-in for the installation's factory-reset script in a simulated
# instrument root (<root>/opt/KOVA3/bin/Factory_Reset.sh). Records each call in
# <root>/run/kova-sim/factory-reset.calls and changes nothing.
root=$(cd "$(dirname "$0")/../../.." && pwd)
mkdir -p "$root/run/kova-sim"
echo "Factory_Reset.sh $*" >> "$root/run/kova-sim/factory-reset.calls"
exit 0
