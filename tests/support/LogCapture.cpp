#include "LogCapture.h"

#include <QByteArray>
#include <QLoggingCategory>

namespace {

QStringList s_lines;
QtMessageHandler s_previous = nullptr;

void collect(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (context.category && QByteArray(context.category) == "kova")
        s_lines << message;
    else if (s_previous)
        s_previous(type, context, message);
}

}  // namespace

LogCapture::LogCapture()
{
    s_lines.clear();
    s_previous = qInstallMessageHandler(&collect);
    QLoggingCategory::setFilterRules(QStringLiteral("kova.debug=true"));
}

LogCapture::~LogCapture()
{
    if (qEnvironmentVariableIsEmpty("KOVA_TEST_LOG"))
        QLoggingCategory::setFilterRules(QStringLiteral("kova.debug=false"));
    qInstallMessageHandler(s_previous);
    s_previous = nullptr;
}

QStringList LogCapture::lines() const
{
    return s_lines;
}

bool LogCapture::contains(const QString& text) const
{
    return count(text) > 0;
}

int LogCapture::count(const QString& text) const
{
    int n = 0;
    for (const QString& line : s_lines)
        n += line.contains(text) ? 1 : 0;
    return n;
}
