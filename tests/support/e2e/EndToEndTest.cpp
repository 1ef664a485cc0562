#include "EndToEndTest.h"

#include "HostTool.h"
#include "Processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/resource.h>

namespace {

constexpr int kToolTimeoutMs = 10000;
// Laying out a new root includes generating a full-size slide.
constexpr int kInstrumentReadyMs = 60000;

}  // namespace

EndToEndTest::~EndToEndTest()
{
    for (auto program = m_programs.rbegin(); program != m_programs.rend(); ++program)
        terminate(**program);
}

QProcess* EndToEndTest::startInstrument(const QStringList& options)
{
    QProcess* instrument = startProgram(QStringLiteral(KOVA_INSTRUMENT), QStringList{root.root()} + options);
    if (instrument && !waitForOutput(*instrument, "ready", kInstrumentReadyMs)) {
        ADD_FAILURE() << "the virtual instrument is not ready: " << output(*instrument).toStdString();
        return nullptr;
    }
    return instrument;
}

QProcess* EndToEndTest::startProgram(const QString& program, const QStringList& arguments,
                                     const QStringList& environment, const QString& workingDirectory)
{
    if (!x.isRunning()) {
        ADD_FAILURE() << "no X server for " << program.toStdString();
        return nullptr;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("DISPLAY"), x.display());
    env.insert(QStringLiteral("KOVA3_ROOT"), root.root());
    for (const QString& variable : environment) {
        const int equals = variable.indexOf(QLatin1Char('='));
        env.insert(variable.left(equals), equals < 0 ? QString() : variable.mid(equals + 1));
    }

    m_programs.push_back(std::make_unique<QProcess>());
    QProcess& process = *m_programs.back();
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        ADD_FAILURE() << program.toStdString() << " did not start: " << process.errorString().toStdString();
        return nullptr;
    }
    return &process;
}

bool EndToEndTest::installProgram(const QString& program, const QString& logicalPath)
{
    const QString installed = root.path(logicalPath);
    QFile::remove(installed);
    return QDir().mkpath(QFileInfo(installed).path()) && QFile::copy(program, installed);
}

QByteArray EndToEndTest::output(QProcess& program)
{
    QByteArray& text = m_output[&program];
    text += program.readAll();
    return text;
}

bool EndToEndTest::waitForOutput(QProcess& program, const QByteArray& text, int timeoutMs)
{
    const auto written = [&] { return output(program).contains(text); };
    return QTest::qWaitFor([&] { return written() || program.state() == QProcess::NotRunning; }, timeoutMs)
           && written();
}

void EndToEndTest::terminate(QProcess& program)
{
    if (program.state() == QProcess::NotRunning)
        return;
    program.terminate();
    if (!program.waitForFinished(5000)) {
        program.kill();
        program.waitForFinished();
    }
}

bool EndToEndTest::limitAddressSpace(const QProcess& program, qint64 roomBytes)
{
    const qint64 mapped = mappedBytes(program.processId());
    const rlimit limit{static_cast<rlim_t>(mapped + roomBytes), static_cast<rlim_t>(mapped + roomBytes)};
    return mapped > 0 && ::prlimit(static_cast<pid_t>(program.processId()), RLIMIT_AS, &limit, nullptr) == 0;
}

bool EndToEndTest::run(const QString& tool, const QStringList& arguments, QByteArray* output)
{
    // The tool finds the private screen through DISPLAY, which the server sets.
    const platform::CommandResult result = runHostTool(tool, arguments, kToolTimeoutMs);
    if (output)
        *output = result.standardOutput;
    return result.succeeded();
}

bool EndToEndTest::xdotool(const QStringList& arguments, QByteArray* output)
{
    return run(QStringLiteral("xdotool"), arguments, output);
}

bool EndToEndTest::touch(int x, int y)
{
    return xdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y), QStringLiteral("click"),
                    QStringLiteral("1")});
}

bool EndToEndTest::type(const QString& text)
{
    return xdotool({QStringLiteral("type"), QStringLiteral("--"), text});
}

bool EndToEndTest::key(const QString& keys)
{
    return xdotool({QStringLiteral("key"), QStringLiteral("--"), keys});
}

bool EndToEndTest::keyToWindow(const QString& window, const QString& keys)
{
    return xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window, QStringLiteral("key"),
                    QStringLiteral("--"), keys});
}

QStringList EndToEndTest::search(const QStringList& criteria)
{
    QByteArray found;
    // xdotool search fails when nothing matches.
    if (!xdotool(QStringList{QStringLiteral("search"), QStringLiteral("--onlyvisible")} + criteria, &found))
        return {};
    return QString::fromLatin1(found).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList EndToEndTest::windows(const QString& title)
{
    return search({QStringLiteral("--name"), QStringLiteral("^%1$").arg(title)});
}

QStringList EndToEndTest::windowsOf(const QProcess& program)
{
    return search({QStringLiteral("--pid"), QString::number(program.processId())});
}

bool EndToEndTest::waitForWindow(const QString& title, int timeoutMs)
{
    return QTest::qWaitFor([&] { return !windows(title).isEmpty(); }, timeoutMs);
}

bool EndToEndTest::waitForNoWindow(const QString& title, int timeoutMs)
{
    return QTest::qWaitFor([&] { return windows(title).isEmpty(); }, timeoutMs);
}

bool EndToEndTest::waitForWindowOf(const QProcess& program, int timeoutMs)
{
    return QTest::qWaitFor([&] { return !windowsOf(program).isEmpty(); }, timeoutMs);
}

QRect EndToEndTest::windowGeometry(const QString& window)
{
    // --shell prints X=, Y=, WIDTH= and HEIGHT= lines.
    QByteArray shell;
    if (!xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window}, &shell))
        return QRect();
    std::map<QByteArray, int> values;
    for (const QByteArray& line : shell.split('\n')) {
        const int equals = line.indexOf('=');
        if (equals > 0)
            values[line.left(equals)] = line.mid(equals + 1).toInt();
    }
    return QRect(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
}

bool EndToEndTest::screenshot(const QString& file, const QRect& region)
{
    QStringList arguments{QStringLiteral("-window"), QStringLiteral("root")};
    if (region.isValid())
        arguments << QStringLiteral("-crop")
                  << QStringLiteral("%1x%2+%3+%4").arg(region.width()).arg(region.height()).arg(region.x()).arg(region.y())
                  << QStringLiteral("+repage");
    return run(QStringLiteral("import"), arguments << file);
}

bool EndToEndTest::windowScreenshot(const QString& window, const QString& file)
{
    return run(QStringLiteral("import"), {QStringLiteral("-window"), window, file});
}

QString EndToEndTest::artefact(const QString& name) const
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // Parameterised tests have a "/" in their names.
    const QString testName = QStringLiteral("%1.%2")
                                  .arg(QString::fromUtf8(test->test_suite_name()), QString::fromUtf8(test->name()))
                                  .replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString folder = QStringLiteral(KOVA_TEST_ARTEFACTS) + QLatin1Char('/') + testName;
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name;
}
