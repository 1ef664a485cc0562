#include "platform/InstallScript.h"

#include "platform/CommandRunner.h"
#include "platform/Log.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kPollMs = 100;

// ----- The supervisor. It runs in the child of a fork of a threaded program,
// where a lock that another thread held at the fork (malloc's, stdio's) stays
// taken for good: so it allocates nothing and calls nothing but the system.

long nowMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

// Calls `each(number, folderDescriptor)` for every entry of `folder` whose
// name is a number (a process in /proc, a descriptor in /proc/self/fd).
// False when the folder cannot be read.
template <class Each>
bool forEachNumber(const char* folder, Each each)
{
    const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    alignas(dirent64) char buffer[4096];
    for (long size; (size = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer)) > 0;) {
        for (long at = 0; at < size;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            long number = 0;
            const char* c = entry->d_name;
            for (; *c >= '0' && *c <= '9'; ++c)
                number = number * 10 + (*c - '0');
            if (c != entry->d_name && *c == '\0')
                each(number, fd);
        }
    }
    ::close(fd);
    return true;
}

// The parent of process `pid`, from /proc/<pid>/stat ("pid (name) S ppid ...",
// where the name may hold anything but is at most 15 bytes); 0 when unknown.
pid_t parentOf(long pid)
{
    char path[32] = "/proc/";
    char digits[20];
    int count = 0;
    for (long rest = pid; rest > 0 && count < 20; rest /= 10)
        digits[count++] = static_cast<char>('0' + rest % 10);
    int at = 6;
    while (count > 0)
        path[at++] = digits[--count];
    for (const char* tail = "/stat"; *tail;)
        path[at++] = *tail++;
    path[at] = '\0';

    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char stat[256];
    const long size = ::read(fd, stat, sizeof stat);
    ::close(fd);
    long close = -1;
    for (long i = 0; i < size; ++i) {
        if (stat[i] == ')')
            close = i;
    }
    // ") S ppid"
    long parent = 0;
    for (long i = close + 4; close >= 0 && i < size && stat[i] >= '0' && stat[i] <= '9'; ++i)
        parent = parent * 10 + (stat[i] - '0');
    return static_cast<pid_t>(parent);
}

// Sends `signal` to every child of this process, the script's orphaned
// descendants among them (they are handed to the subreaper).
void signalChildren(int signal)
{
    const pid_t self = ::getpid();
    forEachNumber("/proc", [&](long pid, int) {
        if (parentOf(pid) == self)
            ::kill(static_cast<pid_t>(pid), signal);
    });
}

// Reaps every child that has ended, noting the script's status when it is
// among them. False once no child is left.
bool reapChildren(pid_t script, int& status, bool& scriptEnded)
{
    for (;;) {
        int ended = 0;
        const pid_t pid = ::waitpid(-1, &ended, WNOHANG);
        if (pid > 0) {
            if (pid == script) {
                status = ended;
                scriptEnded = true;
            }
            continue;
        }
        return !(pid < 0 && errno == ECHILD);
    }
}

// Waits up to `ms` (below 0: without end) for one of the blocked signals `wanted`.
int awaitSignal(const sigset_t& wanted, long ms)
{
    if (ms < 0)
        return ::sigwaitinfo(&wanted, nullptr);
    const timespec limit{ms / 1000, (ms % 1000) * 1000000};
    return ::sigtimedwait(&wanted, nullptr, &limit);
}

// TERM to every child, again to each new orphan as it comes, and KILL to
// whatever is left after the grace time, until none is left.
void endChildren(pid_t script, int& status, bool& scriptEnded)
{
    sigset_t childEnded;
    sigemptyset(&childEnded);
    sigaddset(&childEnded, SIGCHLD);
    const long deadline = nowMs() + kEndGraceMs;
    while (reapChildren(script, status, scriptEnded)) {
        const long left = deadline - nowMs();
        signalChildren(left > 0 ? SIGTERM : SIGKILL);
        awaitSignal(childEnded, left > 0 ? left : kPollMs);
    }
}

// Closes every descriptor but the standard ones: among them is the parent's
// start-up pipe, whose end tells it that the script runs.
void closeInherited()
{
    const bool listed = forEachNumber("/proc/self/fd", [](long fd, int folder) {
        if (fd > 2 && fd != folder)
            ::close(static_cast<int>(fd));
    });
    for (int fd = 3; !listed && fd < 1024; ++fd)
        ::close(fd);
}

void actByDefault(int signal)
{
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(signal, &byDefault, nullptr);
}

// Ends this process as the script ended: with its exit code, or by its signal.
[[noreturn]] void endAsTheScript(int status)
{
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        ::prctl(PR_SET_DUMPABLE, 0);  // the script's crash: no core of this copy of the parent
        actByDefault(signal);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signal);
        ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
        ::kill(::getpid(), signal);
        ::_exit(128 + signal);
    }
    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

[[noreturn]] void supervise(pid_t script, const sigset_t& watched)
{
    closeInherited();
    int status = 0;
    bool scriptEnded = false;
    bool stopped = false;
    while (!scriptEnded && !stopped) {
        stopped = awaitSignal(watched, -1) == SIGTERM;
        reapChildren(script, status, scriptEnded);
    }
    endChildren(script, status, scriptEnded);
    endAsTheScript(status);
}

// ----- The parent's side.

// Of process `pid`, from /proc/<pid>/stat ("pid (name) S ppid pgrp session
// ..."); false when it is gone.
struct ProcessStat
{
    pid_t parent = 0;
    pid_t session = 0;
    char state = '?';
};

bool statOf(long pid, ProcessStat& stat)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = file.readAll();
    const int close = line.lastIndexOf(')');
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (close < 0 || fields.size() < 4)
        return false;
    stat.state = fields[0].isEmpty() ? '?' : fields[0][0];
    stat.parent = static_cast<pid_t>(fields[1].toLong());
    stat.session = static_cast<pid_t>(fields[3].toLong());
    return true;
}

// This program's children in a session other than its own.
QList<pid_t> adoptedRemnants()
{
    const pid_t self = ::getpid();
    const pid_t session = ::getsid(0);
    QList<pid_t> remnants;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const long pid = entry.toLong(&number);
        ProcessStat stat;
        if (number && statOf(pid, stat) && stat.parent == self && stat.session != session)
            remnants << static_cast<pid_t>(pid);
    }
    return remnants;
}

// Ends them, and what they leave as they end (it passes up to this program
// too): TERM, then KILL once kEndGraceMs has passed, until none is left.
void endAdoptedRemnants()
{
    constexpr useconds_t kRecheckUs = 10000;
    QElapsedTimer clock;
    clock.start();
    QList<pid_t> remnants = adoptedRemnants();
    if (!remnants.isEmpty())
        KLOG << "ending what the install script left running:" << remnants;
    for (; !remnants.isEmpty(); remnants = adoptedRemnants()) {
        if (clock.elapsed() > kRemnantsLimitMs) {
            KLOG << "these could not be ended:" << remnants;
            return;
        }
        const bool graceOver = clock.elapsed() > kEndGraceMs;
        for (const pid_t pid : remnants) {
            ProcessStat stat;
            // Reaped by its own id only: other children are the runner's to reap.
            if (statOf(pid, stat) && stat.state == 'Z')
                ::waitpid(pid, nullptr, WNOHANG);
            else
                ::kill(pid, graceOver ? SIGKILL : SIGTERM);
        }
        ::usleep(kRecheckUs);
    }
}

// The last `limit` bytes of what is appended, kept in at most twice that.
class Tail
{
public:
    explicit Tail(int limit) : m_limit(limit) {}

    void append(const QByteArray& piece)
    {
        m_total += piece.size();
        m_bytes += piece;
        if (m_bytes.size() > 2 * m_limit)
            m_bytes.remove(0, m_bytes.size() - m_limit);
    }
    QByteArray bytes() const { return m_bytes.right(m_limit); }
    qint64 total() const { return m_total; }

private:
    const int m_limit;
    QByteArray m_bytes;
    qint64 m_total = 0;
};

}  // namespace

InstallScriptProcess::InstallScriptProcess(QObject* parent) : QProcess(parent)
{
    // Connected first, so it runs before any verdict on the process's end.
    connect(this, &QProcess::stateChanged, this, [this](QProcess::ProcessState state) {
        if (state == QProcess::Starting) {
            ::prctl(PR_GET_CHILD_SUBREAPER, &m_wasSubreaper);
            ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        } else if (state == QProcess::NotRunning) {
            endAdoptedRemnants();
            ::prctl(PR_SET_CHILD_SUBREAPER, m_wasSubreaper);
        }
    });
}

InstallScriptProcess::~InstallScriptProcess()
{
    if (state() != QProcess::NotRunning) {
        kill();
        waitForFinished();
    }
}

void InstallScriptProcess::setupChildProcess()
{
    // Here in the forked child, before the exec: this becomes the supervisor
    // and a second child runs the script.
    ::setsid();
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    actByDefault(SIGCHLD);
    sigset_t watched;
    sigemptyset(&watched);
    sigaddset(&watched, SIGCHLD);
    sigaddset(&watched, SIGTERM);
    sigset_t previous;
    ::sigprocmask(SIG_BLOCK, &watched, &previous);
    // The system's fork, not the C library's, whose fork handlers take locks.
    const auto script = static_cast<pid_t>(::syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0));
    if (script == 0) {
        ::sigprocmask(SIG_SETMASK, &previous, nullptr);
        return;  // on to the exec of the script
    }
    if (script < 0)
        ::_exit(127);
    supervise(script, watched);
}

bool prepareInstallScript(InstallScriptProcess& process, const QString& packageFolder)
{
    // Unchecked: a script that still cannot be run fails to start, a failed installation.
    QFile::setPermissions(QDir(packageFolder).filePath(QString::fromLatin1(kInstallScriptName)),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                              | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                              | QFileDevice::ExeOther);
    return CommandRunner::prepare(process, QStringLiteral("./") + QString::fromLatin1(kInstallScriptName),
                                  QStringList(), packageFolder);
}

bool installScriptSucceeded(bool started, const QProcess& process)
{
    return started && process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}

InstallScriptRun runInstallScript(const QString& packageFolder, int timeLimitMs, const std::function<bool()>& stop)
{
    InstallScriptRun run;
    InstallScriptProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!prepareInstallScript(process, packageFolder)) {
        run.errorString = QStringLiteral("no install script to run in %1").arg(packageFolder);
        return run;
    }
    KLOG << "run:" << process.program() << "in" << packageFolder;
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted()) {
        run.errorString = QStringLiteral("the install script did not start: %1").arg(process.errorString());
        return run;
    }
    // The supervisor leads the group; its id is kept, as the process forgets it once reaped.
    const auto group = static_cast<pid_t>(process.processId());
    Tail output(kOutputTailBytes);
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer ending;  // since the supervisor was told to end the script
    while (process.state() != QProcess::NotRunning) {
        // Returns with each piece, so no more than a piece waits unread.
        process.waitForReadyRead(kPollMs);
        output.append(process.readAll());
        if (!ending.isValid()) {
            const bool timedOut = clock.elapsed() >= timeLimitMs;
            if (timedOut || (stop && stop())) {
                run.errorString = timedOut ? QStringLiteral("the install script ran longer than %1 s and was ended")
                                                 .arg(timeLimitMs / 1000)
                                           : QStringLiteral("the install script was stopped");
                ::kill(group, SIGTERM);
                ending.start();
            }
        } else if (ending.elapsed() > 2 * kEndGraceMs) {
            ::kill(-group, SIGKILL);  // the supervisor itself does not end: what is left of the group at least
        }
    }
    output.append(process.readAll());
    run.output = output.bytes();
    run.outputBytes = output.total();
    if (run.errorString.isEmpty()) {
        run.succeeded = installScriptSucceeded(true, process);
        if (!run.succeeded)
            run.errorString = process.exitStatus() == QProcess::CrashExit
                                  ? QStringLiteral("the install script crashed")
                                  : QStringLiteral("the install script ended with code %1").arg(process.exitCode());
    }
    KLOG << "install script:" << (run.succeeded ? QStringLiteral("done") : run.errorString);
    return run;
}

}  // namespace platform
