#pragma once

#include <QString>

// The keyboard images live in the application's static library; this registers them.
void initKeyboardResources();

// Style of an image key: "<base> 1.png" normal, "2" pressed, "3" disabled, under `prefix`.
QString imageKeyStyle(const QString& prefix, const QString& base);
