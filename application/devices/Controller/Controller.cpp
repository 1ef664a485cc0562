#include "Controller/Controller.h"

#include "platform/Log.h"
#include "platform/Root.h"

#include <QDeadlineTimer>
#include <QSerialPort>

#include <algorithm>
#include <climits>

Controller* Controller::instance = nullptr;

namespace {

const char kPortName[] = "/dev/ttyS2";
const char kOk[] = "OK";

}  // namespace

Controller::Controller(QObject* parent)
    : QObject(parent)
    , m_lineReader(kMaxLineBytes)
{
    KLOG_ENTER;
    instance = this;
}

Controller::StageUse::StageUse(Controller* link)
    : m_link(link)
{
    if (m_link)
        ++m_link->m_nStageUses;
}

Controller::StageUse::~StageUse()
{
    if (m_link && --m_link->m_nStageUses == 0)
        emit m_link->sig_stage_released();
}

Controller::~Controller()
{
    KLOG_ENTER;
    delete m_pSerialPort;
    // Nobody may reach a destroyed link through the static pointer.
    if (instance == this)
        instance = nullptr;
}

void Controller::openSerialPort()
{
    KLOG_ENTER;
    trySerialPort();
}

bool Controller::openPort()
{
    if (!m_pSerialPort) {
        m_pSerialPort = new QSerialPort(this);
        connect(m_pSerialPort, &QSerialPort::errorOccurred, this,
                [this](QSerialPort::SerialPortError error) { handlePortError(error); });
    }
    m_pSerialPort->setPortName(platform::rootPath(QString::fromLatin1(kPortName)));
    m_pSerialPort->setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    m_pSerialPort->setDataBits(QSerialPort::Data8);
    m_pSerialPort->setParity(QSerialPort::NoParity);
    m_pSerialPort->setStopBits(QSerialPort::OneStop);
    m_pSerialPort->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_pSerialPort->open(QIODevice::ReadWrite)) {
        KLOG_VALUE("open failed", m_pSerialPort->errorString());
        return false;
    }
    m_lineReader.clear();
    m_lines.clear();
    m_nMovesUnderWay = 0;
    m_nLateMoves = 0;
    m_linkError.clear();
    return true;
}

bool Controller::trySerialPort()
{
    KLOG_ENTER;
    // A port closed by an earlier failed handshake, or a lost link, is opened again.
    if (!isOpen() && !openPort())
        return false;
    if (!command_Blocking(makeFrame(QStringLiteral("DEVICE"), QStringLiteral("READY")))) {
        KLOG << "no handshake from the microcontroller";
        m_pSerialPort->close();
        return false;
    }
    KLOG << "opened serial port" << m_pSerialPort->portName();
    emit sig_connected_controller();
    setPortListener(true);
    return true;
}

void Controller::setPortListener(bool on)
{
    if (!m_pSerialPort)
        return;
    if (on)
        connect(m_pSerialPort, &QSerialPort::readyRead, this, &Controller::slot_readyRead,
                Qt::UniqueConnection);
    else
        disconnect(m_pSerialPort, &QSerialPort::readyRead, this, &Controller::slot_readyRead);
}

void Controller::setTimeouts(int writeTimeoutMs, int readTimeoutMs)
{
    m_nWriteTimeoutMs = writeTimeoutMs;
    m_nReadTimeoutMs = readTimeoutMs;
}

bool Controller::isOpen() const
{
    return m_pSerialPort && m_pSerialPort->isOpen();
}

void Controller::write_nonBlocking(const QString& frame)
{
    KLOG_ENTER;
    if (!isOpen())
        return;
    // What came before the command is kept for the listener, never discarded.
    receive();
    dispatchLater();
    m_pSerialPort->write(frame.toLocal8Bit());
    emit sig_debug_Controller(frame);
}

void Controller::write_Blocking(const QString& frame, int write_timeout_ms)
{
    write_nonBlocking(frame);
    if (isOpen() && !m_pSerialPort->waitForBytesWritten(write_timeout_ms))
        KLOG << "errorDataWritingTimeout";
}

bool Controller::writeAndRead_Blocking(const QString& frame, int write_timeout_ms, int read_timeout_ms)
{
    KLOG_ENTER;
    if (!isOpen()) {
        KLOG << "serial port not open";
        return false;
    }
    setPortListener(false);
    receive();
    const int from = m_lines.size();
    write_Blocking(frame, write_timeout_ms);
    const bool replied = readReply_Blocking(frame.section(QLatin1Char(','), 2, 2), from, read_timeout_ms);
    setPortListener(true);
    dispatchLater();
    return replied;
}

bool Controller::readReply_Blocking(const QString& verb, int from, int read_timeout_ms)
{
    KLOG_ENTER;
    const QDeadlineTimer deadline(read_timeout_ms);
    for (;;) {
        for (int i = from; i < m_lines.size(); ++i) {
            // A line that does not parse may be the reply, garbled: it fails the command.
            responseInfo_t info;
            if (parseReply(m_lines[i], info) && info.command != verb)
                continue;
            m_commandResponse = m_lines.takeAt(i);
            KLOG << "m_commandResponse:" << m_commandResponse;
            emit sig_debug_Controller(m_commandResponse);
            return parsing_responseReceived(m_commandResponse);
        }
        // The time-out bounds the whole reply: bytes that never end a line
        // (noise on the line) must not hold the caller for ever.
        if (!isOpen() || deadline.hasExpired()
            || !m_pSerialPort->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            KLOG << "errorDataReadingTimeout";
            m_commandResponse.clear();
            return false;
        }
        receive();
    }
}

bool Controller::parseReply(const QString& line, responseInfo_t& info)
{
    const QStringList parts = line.mid(line.lastIndexOf(QLatin1Char('$')) + 1).split(QLatin1Char(','));
    if (parts.size() != 5)
        return false;
    info = {parts[0], parts[1], parts[2], parts[3]};
    return true;
}

Controller::LineKind Controller::kindOf(const QString& command)
{
    static const std::pair<const char*, LineKind> kinds[] = {
        {"ORIGIN", LineKind::Origin}, {"MVN", LineKind::Mvn},           {"MVP", LineKind::Mvp},
        {"ABS", LineKind::Abs},       {"PWR SW", LineKind::PowerSwitch}, {"START", LineKind::Restart},
    };
    for (const auto& [text, kind] : kinds) {
        if (command.contains(QLatin1String(text)))
            return kind;
    }
    return LineKind::Other;
}

bool Controller::answersAMove(const QString& line)
{
    responseInfo_t info;
    if (!parseReply(line, info))
        return false;
    return isMove(kindOf(info.command));
}

bool Controller::isMove(LineKind kind)
{
    return kind == LineKind::Origin || kind == LineKind::Mvn || kind == LineKind::Mvp || kind == LineKind::Abs;
}

bool Controller::parsing_responseReceived(const QString& line)
{
    return parseReply(line, m_responseInfo);
}

void Controller::receive()
{
    if (isOpen())
        takeLines(m_pSerialPort->readAll());
}

void Controller::takeReceived(const QByteArray& bytes)
{
    takeLines(bytes);
    dispatchLines();
}

void Controller::takeLines(const QByteArray& bytes)
{
    QStringList lines;
    m_lineReader.take(bytes, lines);
    for (const QString& line : lines) {
        responseInfo_t info;
        const LineKind kind = parseReply(line, info) ? kindOf(info.command) : LineKind::Other;
        // No move is sent while late moves remain (the stage is settled
        // first): a move answer now is a late one, and moves nothing.
        if (isMove(kind) && m_nLateMoves > 0) {
            --m_nLateMoves;
            KLOG << "late answer dropped:" << line;
            continue;
        }
        if (kind == LineKind::Restart) {
            // The answers queued before the report acknowledge their moves.
            const int answered = moveAnswersQueued();
            const int ended = std::max(0, m_nMovesUnderWay - answered);
            KLOG_VALUE("moves ended by the restart", ended);
            m_nLateMoves += ended;
            m_nMovesUnderWay -= ended;
        }
        m_lines << line;
    }
}

QString Controller::makeFrame(const QString& target, const QString& verb, const QString& argument)
{
    return QStringLiteral("$,%1,%2,%3,\r\n").arg(target, verb, argument);
}

QString Controller::makeFrame(const QString& target, const QString& verb, qint64 argument)
{
    return makeFrame(target, verb, QString::number(argument));
}

bool Controller::command_Blocking(const QString& frame)
{
    return command_Blocking(frame, m_nReadTimeoutMs);
}

bool Controller::command_Blocking(const QString& frame, int read_timeout_ms)
{
    return writeAndRead_Blocking(frame, m_nWriteTimeoutMs, read_timeout_ms)
        && m_responseInfo.status == QLatin1String(kOk);
}

QString Controller::device_fw_version()
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("DEVICE"), QStringLiteral("FW VERSION")))
        ? m_responseInfo.value : QString();
}

QString Controller::device_fw_build()
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("DEVICE"), QStringLiteral("FW BUILD")))
        ? m_responseInfo.value : QString();
}

bool Controller::device_poweroff()
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("DEVICE"), QStringLiteral("PWR KILL"), 3000));
}

bool Controller::led_on()
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("LED4"), QStringLiteral("ON")));
}

bool Controller::led_off()
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("LED4"), QStringLiteral("OFF")));
}

bool Controller::led_brightness(int level)
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("LED4"), QStringLiteral("BRT"), level));
}

bool Controller::z_stage_move(SerialPort_Mode_e mode, const QString& frame)
{
    // A late answer must not acknowledge this move.
    if (m_nLateMoves > 0)
        z_stage_pos();
    if (mode == MODE_BLOCKING) {
        const bool ok = command_Blocking(frame);
        // The microcontroller runs moves one after another and answers each at
        // its end: once this one is answered, every earlier move has ended, and
        // one whose answer is not waiting here will not come.
        if (ok)
            m_nMovesUnderWay = moveAnswersQueued();
        return ok;
    }
    if (!isOpen())
        return false;
    write_nonBlocking(frame);
    ++m_nMovesUnderWay;
    // The reply comes later to the listener; this is the status of the last one.
    return m_responseInfo.status == QLatin1String(kOk);
}

bool Controller::z_stage_origin(SerialPort_Mode_e mode)
{
    KLOG_ENTER;
    const bool ok = z_stage_move(mode, makeFrame(QStringLiteral("STM1"), QStringLiteral("ORIGIN")));
    if (mode == MODE_BLOCKING)
        m_current_pos = 0;
    return ok;
}

bool Controller::z_stage_mvn(SerialPort_Mode_e mode, int steps)
{
    KLOG_ENTER;
    const bool ok = z_stage_move(mode, makeFrame(QStringLiteral("STM1"), QStringLiteral("MVN"), steps));
    if (mode == MODE_BLOCKING)
        m_current_pos = loweredPosition(m_current_pos, steps);
    return ok;
}

bool Controller::z_stage_mvp(SerialPort_Mode_e mode, int steps)
{
    KLOG_ENTER;
    const bool ok = z_stage_move(mode, makeFrame(QStringLiteral("STM1"), QStringLiteral("MVP"), steps));
    if (mode == MODE_BLOCKING)
        m_current_pos = movedPosition(m_current_pos, steps);
    return ok;
}

bool Controller::z_stage_abs(SerialPort_Mode_e mode, int position)
{
    KLOG_ENTER;
    const bool ok = z_stage_move(mode, makeFrame(QStringLiteral("STM1"), QStringLiteral("ABS"), position));
    if (mode == MODE_BLOCKING)
        m_current_pos = position;
    return ok;
}

bool Controller::z_stage_stop()
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("STM1"), QStringLiteral("STOP")));
}

int Controller::readPosition()
{
    if (!command_Blocking(makeFrame(QStringLiteral("STM1"), QStringLiteral("GET_POS"))))
        return -1;
    bool isNumber = false;
    const int position = m_responseInfo.value.toInt(&isNumber);
    return isNumber ? position : -1;
}

int Controller::moveAnswersQueued() const
{
    return int(std::count_if(m_lines.cbegin(), m_lines.cend(), answersAMove));
}

int Controller::settle(int first)
{
    KLOG_VALUE("settling after a restart; late moves", m_nLateMoves);
    const QDeadlineTimer limit(kSettleLimitMs);
    int previous = first;
    for (;;) {
        // The pause takes what comes in without handing it to the listener:
        // its handlers may send commands of their own.
        setPortListener(false);
        const QDeadlineTimer pause(kSettleIntervalMs);
        while (isOpen() && !pause.hasExpired()) {
            if (m_pSerialPort->waitForReadyRead(int(pause.remainingTime())))
                receive();
        }
        setPortListener(true);
        // Every late move answered before this read: they have all ended.
        const bool ended = m_nLateMoves == 0;
        const int position = readPosition();
        if (position < 0)
            return -1;
        if (ended || position == previous || limit.hasExpired()) {
            m_nLateMoves = 0;
            return position;
        }
        previous = position;
    }
}

int Controller::z_stage_pos()
{
    KLOG_ENTER;
    int position = readPosition();
    // The read may itself have taken a restart's report.
    if (position >= 0 && m_nLateMoves > 0)
        position = settle(position);
    if (position < 0)
        return -1;
    // With a move under way the stage is somewhere on its way (or there, its
    // acknowledgement not yet handled), and that acknowledgement counts the
    // whole move: the tracked position follows the acknowledgements then.
    if (m_nMovesUnderWay == 0)
        m_current_pos = position;
    KLOG_VALUE("m_current_pos", m_current_pos);
    return position;
}

int Controller::z_stage_move_to(int target)
{
    const int position = z_stage_pos();
    if (position < 0) {
        KLOG << "[Error] stage position unknown; the stage stays";
        return -1;
    }
    const int difference = position - target;
    if (difference > 0)
        z_stage_mvn(MODE_NON_BLOCKING, difference);
    else if (difference < 0)
        z_stage_mvp(MODE_NON_BLOCKING, -difference);
    return position;
}

bool Controller::z_stage_ron(int value)
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("STM1"), QStringLiteral("RON"), value));
}

bool Controller::z_stage_rop(int value)
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("STM1"), QStringLiteral("ROP"), value));
}

bool Controller::stage_kval_acc(int value)
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("STM1"), QStringLiteral("ACC"), value));
}

bool Controller::stage_kval_dec(int value)
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("STM1"), QStringLiteral("DEC"), value));
}

bool Controller::stage_kval_run(int value)
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("STM1"), QStringLiteral("RUN"), value));
}

bool Controller::stage_kval_hold(int value)
{
    KLOG_ENTER;
    return command_Blocking(makeFrame(QStringLiteral("STM1"), QStringLiteral("HOLD"), value));
}

void Controller::slot_readyRead()
{
    if (isOpen())
        takeReceived(m_pSerialPort->readAll());
}

void Controller::dispatchLines()
{
    // Each line leaves the queue before it is handled, so a handler that
    // sends a command, or runs an event loop that comes back here, neither
    // loses the lines behind it nor sees one twice.
    while (!m_lines.isEmpty()) {
        const QString line = m_lines.takeFirst();
        KLOG << "response:" << line;
        handleListenedLine(line);
    }
}

void Controller::dispatchLater()
{
    // Lines already taken from the port get no readyRead of their own.
    if (!m_lines.isEmpty())
        QMetaObject::invokeMethod(this, &Controller::dispatchLines, Qt::QueuedConnection);
}

void Controller::handlePortError(int error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError
        && error != QSerialPort::WriteError)
        return;
    if (!m_linkError.isEmpty())
        return;
    m_linkError = m_pSerialPort->errorString();
    // Closed from the event loop, not inside the port's own error report: a
    // hung-up line stays readable for ever and would keep the thread busy.
    QMetaObject::invokeMethod(this, &Controller::closeLostLink, Qt::QueuedConnection);
}

void Controller::closeLostLink()
{
    KLOG_VALUE("serial link lost", m_linkError);
    if (m_pSerialPort)
        m_pSerialPort->close();
}

void Controller::handleListenedLine(const QString& line)
{
    // A line that does not parse is dropped; acting on the previous reply
    // again would move the tracked position twice.
    if (!parsing_responseReceived(line))
        return;
    const QString& command = m_responseInfo.command;
    const int value = m_responseInfo.value.toInt();
    // Before the signal: its receivers may ask for the position at rest.
    const auto acknowledged = [this] { m_nMovesUnderWay = std::max(0, m_nMovesUnderWay - 1); };
    switch (kindOf(command)) {
    case LineKind::Origin:
        acknowledged();
        m_current_pos = 0;
        emit sig_z_stage_origin();
        break;
    case LineKind::Mvn:
        acknowledged();
        m_current_pos = movedPosition(m_current_pos, -qint64(value));
        KLOG << "After MVN, m_current_pos:" << m_current_pos;
        emit sig_z_stage_mvn();
        break;
    case LineKind::Mvp:
        acknowledged();
        m_current_pos = movedPosition(m_current_pos, value);
        KLOG << "After MVP, m_current_pos:" << m_current_pos;
        emit sig_z_stage_mvp();
        break;
    case LineKind::Abs:
        acknowledged();
        m_current_pos = value;
        emit sig_z_stage_abs();
        break;
    default:
        handleReport(command);
        break;
    }
}

int Controller::loweredPosition(int position, int steps) const
{
    return movedPosition(position, -qint64(steps));
}

int Controller::movedPosition(int position, qint64 steps)
{
    return static_cast<int>(std::clamp<qint64>(position + steps, INT_MIN, INT_MAX));
}

void Controller::handleReport(const QString& command)
{
    switch (kindOf(command)) {
    case LineKind::PowerSwitch:
        KLOG << "Signal PWR SW!!!!! need to show power off popup";
        emit sig_device_poweroff();
        break;
    case LineKind::Restart:
        KLOG << "Signal device RESET! need to show power off popup";
        emit sig_device_reset();
        break;
    default:
        break;
    }
}
