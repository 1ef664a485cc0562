#include "ProgressTUI.h"

#include "ProgressText.h"

ProgressTUI::ProgressTUI(QObject* parent, QProcess* process, ElapsedClock clock, std::FILE* out)
    : BaseUI(parent, process, std::move(clock))
    , m_out(out)
{
}

void ProgressTUI::slotOnReadyRead()
{
    write("Elapsed time: " + formatElapsed(elapsedSeconds()).toLatin1() + ' ' + readOutput(false));
}

void ProgressTUI::slotOnProcStateChanged(QProcess::ProcessState newState)
{
    if (newState != QProcess::NotRunning)
        return;
    write(readOutput(true) + (succeeded() ? "Installation complete" : "Installation failed"));
    emit ended();
}

QByteArray ProgressTUI::readOutput(bool ended)
{
    QByteArray text;
    readScriptOutput(
        *m_process, [&](const QByteArray& error) { text += error; },
        [&](const QString& line) {
            if (kTaskLine.match(line).hasMatch())
                text += QString(line).remove(QLatin1Char('=')).toUtf8();
        },
        ended);
    return text;
}

void ProgressTUI::write(const QByteArray& text)
{
    // Flushed at once: whoever watches the installation sees each step as it comes.
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), m_out);
    std::fflush(m_out);
}
