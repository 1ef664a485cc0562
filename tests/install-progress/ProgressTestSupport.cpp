#include "ProgressTestSupport.h"

#include "platform/CommandRunner.h"

#include <QSignalSpy>

#include <cstdlib>

namespace {

constexpr int kWaitMs = 10000;

}  // namespace

CapturedOutput::CapturedOutput()
    : m_file(open_memstream(&m_buffer, &m_size))
{
}

CapturedOutput::~CapturedOutput()
{
    std::fclose(m_file);
    std::free(m_buffer);
}

QByteArray CapturedOutput::text() const
{
    std::fflush(m_file);
    return QByteArray(m_buffer, static_cast<int>(m_size));
}

ScriptedChild::ScriptedChild(const TempRoot& root)
{
    // "o TEXT" writes TEXT to standard output, "e TEXT" to standard error,
    // each with its backslash escapes and in one write.
    root.writeScript("/scripted.sh",
                     "while IFS= read -r command; do\n"
                     "    case \"$command\" in\n"
                     "        o\\ *) printf '%b' \"${command#o }\" ;;\n"
                     "        e\\ *) printf '%b' \"${command#e }\" >&2 ;;\n"
                     "    esac\n"
                     "done\n");
    platform::CommandRunner::prepare(process, QStringLiteral("/scripted.sh"), QStringList());
}

ScriptedChild::~ScriptedChild()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(kWaitMs);
    }
}

bool ScriptedChild::start()
{
    process.start();
    return process.waitForStarted(kWaitMs);
}

bool ScriptedChild::write(Channel channel, const QByteArray& text)
{
    QSignalSpy arrived(&process, channel == Out ? &QProcess::readyReadStandardOutput
                                                : &QProcess::readyReadStandardError);
    QByteArray escaped = text;
    escaped.replace('\\', "\\\\").replace('\n', "\\n");
    process.write((channel == Out ? "o " : "e ") + escaped + '\n');
    return arrived.wait(kWaitMs);
}

bool ScriptedChild::end()
{
    process.closeWriteChannel();
    return process.waitForFinished(kWaitMs);
}

QString layOutPackage(const TempRoot& root, const QString& name)
{
    const QString folder = root.path(QStringLiteral("/pkg"));
    if (name.isEmpty()) {
        root.writeFile(QStringLiteral("/pkg/README"), "no install script\n");
        return folder;
    }
    root.copyFile(QStringLiteral(KOVA_FIXTURES "/install-progress/") + name, QStringLiteral("/pkg/install.sh"));
    return folder;
}
