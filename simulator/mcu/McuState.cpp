#include "McuState.h"

#include "platform/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool McuState::read(const QString& physicalPath, McuState& state)
{
    QFile file(physicalPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    McuState parsed;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        const int equals = line.indexOf('=');
        if (equals <= 0)
            continue;
        const QByteArray key = line.left(equals);
        const QByteArray value = line.mid(equals + 1);
        if (key == "position")
            parsed.position = value.toInt();
        else if (key == "led")
            parsed.ledOn = value == "on";
        else if (key == "brightness")
            parsed.brightness = value.toInt();
        else if (key == "power")
            parsed.powerOn = value != "off";
    }
    state = parsed;
    return true;
}

bool McuState::write(const QString& physicalPath) const
{
    if (!QDir().mkpath(QFileInfo(physicalPath).path()))
        return false;
    QSaveFile file(physicalPath);
    if (!platform::openSaveFile(file, QIODevice::Text))
        return false;
    const QByteArray text = QStringLiteral("position=%1\nled=%2\nbrightness=%3\npower=%4\n")
                                .arg(position)
                                .arg(ledOn ? "on" : "off")
                                .arg(brightness)
                                .arg(powerOn ? "on" : "off")
                                .toLatin1();
    return file.write(text) == text.size() && file.commit();
}
