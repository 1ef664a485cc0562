#include "SimulatedVideoInternal.h"

#include "platform/Root.h"
#include "platform/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace platform {

namespace {

constexpr std::pair<SimulatedVideo::Corruption, const char*> kCorruptionNames[] = {
    {SimulatedVideo::Corruption::Green, "green"},
    {SimulatedVideo::Corruption::Pink, "pink"},
    {SimulatedVideo::Corruption::Black, "black"},
};

bool writeSimulatorFile(const QString& logicalPath, const QByteArray& text)
{
    if (isRealInstrument())
        return false;
    const QString physical = rootPath(logicalPath);
    if (!QDir().mkpath(QFileInfo(physical).path()))
        return false;
    QSaveFile file(physical);
    return openSaveFile(file) && file.write(text) == text.size() && file.commit();
}

}  // namespace

bool readKeyValues(const QString& logicalPath, QHash<QByteArray, QByteArray>& values)
{
    QFile file(rootPath(logicalPath));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const int equals = line.indexOf('=');
        if (equals > 0)
            values.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return true;
}

int slideTypeFocus(int twoChamberFocus)
{
    // The application's slide types: 2 two chambers, 9 reusable, 10 validation.
    constexpr std::pair<int, int> kSteps[] = {{9, 1}, {10, -1}};
    const QSettings settings(rootPath(QString::fromLatin1(SimulatedVideo::kSettingsFile)), QSettings::IniFormat);
    const int type = settings.value(QStringLiteral("Cell counting/Slide type")).toInt();
    for (const auto& [slideType, steps] : kSteps) {
        if (type == slideType)
            return twoChamberFocus + steps * SimulatedVideo::kSlideTypeStep;
    }
    return twoChamberFocus;
}

bool SimulatedVideo::Faults::operator==(const Faults& other) const
{
    return openFailure == other.openFailure && streamOnFailure == other.streamOnFailure && noFrame == other.noFrame
        && corrupt == other.corrupt && corruptShare == other.corruptShare && grant == other.grant && bytesUsed == other.bytesUsed;
}

SimulatedVideo::Faults SimulatedVideo::faults()
{
    Faults faults;
    QHash<QByteArray, QByteArray> values;
    if (isRealInstrument() || !readKeyValues(kFaultFile, values))
        return faults;
    faults.openFailure = values.value("open") == "fail";
    faults.streamOnFailure = values.value("streamon") == "fail";
    faults.noFrame = values.value("frames") == "none";
    for (const auto& [kind, name] : kCorruptionNames) {
        if (values.value("corrupt") == name)
            faults.corrupt = kind;
    }
    bool ok = false;
    const double share = values.value("corrupt-share").toDouble(&ok);
    if (ok)
        faults.corruptShare = share;
    faults.grant = values.value("grant").toInt();
    faults.bytesUsed = values.value("bytesused").toUInt();
    return faults;
}

bool SimulatedVideo::setFaults(const Faults& faults)
{
    QByteArray text;
    if (faults.openFailure)
        text += "open=fail\n";
    if (faults.streamOnFailure)
        text += "streamon=fail\n";
    if (faults.noFrame)
        text += "frames=none\n";
    for (const auto& [kind, name] : kCorruptionNames) {
        if (faults.corrupt == kind)
            text += QByteArray("corrupt=") + name + "\ncorrupt-share="
                + QByteArray::number(faults.corruptShare) + '\n';
    }
    if (faults.grant > 0)
        text += "grant=" + QByteArray::number(faults.grant) + '\n';
    if (faults.bytesUsed > 0)
        text += "bytesused=" + QByteArray::number(faults.bytesUsed) + '\n';
    return writeSimulatorFile(kFaultFile, text);
}

bool SimulatedVideo::setSlide(const QString& logicalImage, int focus)
{
    return writeSimulatorFile(kSlideFile, "image=" + logicalImage.toUtf8() + "\nfocus="
                                              + QByteArray::number(focus) + '\n');
}

int SimulatedVideo::framePeriodMs(int width)
{
    // The sensor's rates: 30 frames a second at VGA, 15 at 1280, 5 at full size.
    if (width <= 640)
        return 33;
    return width <= 1280 ? 66 : 200;
}

}  // namespace platform
