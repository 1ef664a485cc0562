#include "Keyboard/KeyboardResources.h"

#include <QtGlobal>

void initKeyboardResources()
{
    Q_INIT_RESOURCE(Keyboard);
}

QString imageKeyStyle(const QString& prefix, const QString& base)
{
    return QStringLiteral("QPushButton { border: none; border-image: url(\"%1/%2 1.png\"); }\n"
                          "QPushButton:pressed { border-image: url(\"%1/%2 2.png\"); }\n"
                          "QPushButton:disabled { border-image: url(\"%1/%2 3.png\"); }")
        .arg(prefix, base);
}
