#pragma once

#include <QString>

class QLabel;

// What the header strips of the screens over the home screen show of theApp:
// the counting mode and the protocol loaded for it. Any mode but 0 (total
// cell counting) is the viability mode.

bool isViabilityMode();
// The name of the protocol loaded for the counting mode in force.
QString loadedProtocolName();
// The counting mode's badge as `badge`'s background and the loaded protocol's
// name in `protocol`.
void showCountingMode(QLabel* badge, QLabel* protocol);
