#pragma once

#include "Controller/LineReader.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QSerialPort;

// One reply of the microcontroller: "$" and five comma-separated fields,
// status, target, command, value and an ignored fifth (normally empty).
struct responseInfo_t
{
    QString status;   // "OK" is success, compared exactly
    QString target;   // DEVICE, LED4, STM1
    QString command;  // the verb answered or the event reported
    QString value;
};

// The link to the instrument's microcontroller (focus stage, LED, power) on
// the serial port "/dev/ttyS2" (mapped under the instrument root), 115200 8N1.
// Commands are text frames "$,<target>,<verb>,<argument>,\r\n". Blocking
// commands write, then wait for their reply: the first line received after the
// write that answers their verb (or does not parse). Every other line is
// handed to the listener, which turns replies to non-blocking stage moves and
// the unsolicited reports (power switch, restart) into signals: each line
// received is dispatched exactly once, in the order received, whatever a
// handler does (a handler may itself send blocking commands). A restart
// report ends the moves under way: they are forgotten as the report comes
// in. A move written before the report may still have reached the
// microcontroller after its restart, and then runs and is answered late; its
// answer must not pass for a later move's. So after such a restart the stage
// is settled before its position is read or a move is sent: the position is
// read until the late moves are answered or two reads, an interval apart,
// agree, and the late answers are dropped. A line longer than kMaxLineBytes
// is dropped; a link that fails (hang-up, read or write error) is closed,
// after which every command fails as on a time-out. GUI thread only.
class Controller : public QObject
{
    Q_OBJECT

public:
    // Mode of the stage moves: blocking waits for the reply in the call; any
    // other value only writes, and the listener takes the reply later.
    enum SerialPort_Mode_e { MODE_BLOCKING = 0, MODE_NON_BLOCKING = 1 };

    static constexpr int kWriteTimeoutMs = 1000;
    static constexpr int kReadTimeoutMs = 5000;
    // Longest line taken from the port; the firmware's lines are a few dozen bytes.
    static constexpr int kMaxLineBytes = 4096;
    // Between two position reads that tell a still stage from a moving one
    // after a restart; longer than a step takes at the slowest speed.
    static constexpr int kSettleIntervalMs = 50;
    // The longest settling: a move over the whole travel ends within it.
    static constexpr int kSettleLimitMs = 30000;

    // The application's one link; set by the constructor.
    static Controller* instance;

    // Marks the stage as taken by a run of work (an autofocus, a count) for
    // the object's life, so that what would move it in between (the restart
    // handling) waits for the run's end: isStageInUse() and
    // sig_stage_released(). Outliving the link is harmless.
    class StageUse
    {
    public:
        explicit StageUse(Controller* link);
        ~StageUse();
        StageUse(const StageUse&) = delete;
        StageUse& operator=(const StageUse&) = delete;

    private:
        QPointer<Controller> m_link;
    };

    explicit Controller(QObject* parent = nullptr);
    ~Controller() override;

    // Opens the port and sends the handshake (trySerialPort).
    virtual void openSerialPort();
    // The handshake, on the port opened first when it is closed: when the
    // microcontroller answers "OK", emits sig_connected_controller() (its
    // receivers run inside this call) and listens; otherwise closes the port
    // silently and returns false.
    bool trySerialPort();
    void setPortListener(bool on);

    // The time-outs of every blocking command (1000 ms to write, 5000 ms for
    // the reply); tests shorten them.
    void setTimeouts(int writeTimeoutMs, int readTimeoutMs);
    int readTimeout() const { return m_nReadTimeoutMs; }

    void write_nonBlocking(const QString& frame);
    void write_Blocking(const QString& frame, int write_timeout_ms);
    // Writes a command frame and waits for its reply; true when a well-formed
    // reply came within the read time-out, which bounds the whole wait,
    // however the bytes trickle in.
    bool writeAndRead_Blocking(const QString& frame, int write_timeout_ms, int read_timeout_ms);
    // Fills m_responseInfo from a reply line; false (and nothing changed) when
    // the line does not have exactly five fields after its last "$".
    bool parsing_responseReceived(const QString& line);

    QString device_fw_version();
    QString device_fw_build();
    bool device_poweroff();
    bool led_on();
    bool led_off();
    bool led_brightness(int level);
    bool z_stage_origin(SerialPort_Mode_e mode);
    bool z_stage_mvn(SerialPort_Mode_e mode, int steps);
    bool z_stage_mvp(SerialPort_Mode_e mode, int steps);
    bool z_stage_abs(SerialPort_Mode_e mode, int position);
    bool z_stage_stop();
    // The stage position in motor steps as the microcontroller counts it, also
    // kept as the tracked position unless a move sent without waiting is
    // still unacknowledged (see currentPosition). -1 means the query failed
    // (no reply, a status other than "OK", or no number); it is never a
    // position, so callers must check for it before using the result.
    int z_stage_pos();
    // Moves the stage from the position the microcontroller reports to
    // `target` by one relative move, sent without waiting (the listener takes
    // its reply). Returns the position reported; -1 when the query failed,
    // and then nothing moves: a failed query is no position to move from.
    int z_stage_move_to(int target);
    bool z_stage_ron(int value);
    bool z_stage_rop(int value);
    bool stage_kval_acc(int value);
    bool stage_kval_dec(int value);
    bool stage_kval_run(int value);
    bool stage_kval_hold(int value);

    // Takes bytes as the port delivers them: cut into lines, and every line
    // queued handed to the listener at once, oldest first. The port's bytes
    // come in here; tests and the fuzz target hand in their own.
    void takeReceived(const QByteArray& bytes);

    // The tracked stage position in motor steps: where the stage stands once
    // every move sent has been acknowledged. Acknowledgements move it; a
    // position query sets it only while no move sent without waiting awaits
    // its acknowledgement, since that acknowledgement counts the whole move
    // (a blocking move's answer shows which earlier answers were lost).
    int currentPosition() const { return m_current_pos; }
    // Moves sent without waiting whose acknowledgement has not been handled
    // (and that no restart has ended).
    int movesUnderWay() const { return m_nMovesUnderWay; }
    bool isOpen() const;
    // True while a StageUse lives.
    bool isStageInUse() const { return m_nStageUses > 0; }

signals:
    void sig_debug_Controller(QString msg);
    void sig_connected_controller();
    void sig_z_stage_origin();
    void sig_z_stage_mvn();
    void sig_z_stage_mvp();
    void sig_z_stage_abs();
    void sig_device_poweroff();
    void sig_device_reset();
    // The last StageUse ended.
    void sig_stage_released();

private slots:
    void slot_readyRead();

protected:
    static QString makeFrame(const QString& target, const QString& verb, const QString& argument = QString());
    static QString makeFrame(const QString& target, const QString& verb, qint64 argument);
    // Configures and opens the port, with nothing received yet; false when it
    // does not open.
    bool openPort();
    // One blocking exchange; true when its reply was well-formed with status "OK".
    bool command_Blocking(const QString& frame);
    bool command_Blocking(const QString& frame, int read_timeout_ms);
    // The last reply that parsed.
    const responseInfo_t& response() const { return m_responseInfo; }
    // The tracked position after a blocking downward move of `steps` from `position`.
    virtual int loweredPosition(int position, int steps) const;
    // `position` moved by `steps` (either sign), held within int: a step
    // count from a reply or a file never wraps the tracked position.
    static int movedPosition(int position, qint64 steps);
    // A listened line that answers no stage move: the power-switch ("PWR SW")
    // and restart ("START") reports become signals.
    virtual void handleReport(const QString& command);

private:
    // What a listened line is, by the first text its command field contains,
    // in this order.
    enum class LineKind { Origin, Mvn, Mvp, Abs, PowerSwitch, Restart, Other };
    static LineKind kindOf(const QString& command);
    static bool parseReply(const QString& line, responseInfo_t& info);
    static bool isMove(LineKind kind);
    // True for a line the listener takes as a stage move's answer.
    static bool answersAMove(const QString& line);
    // Cuts received bytes into lines queued for the listener; a restart
    // report among them ends the moves under way whose answers are not
    // queued before it at once, before a command written after it can count
    // a move of its own: they become late moves, and their answers, as they
    // come, are dropped here.
    void takeLines(const QByteArray& bytes);
    // One position query; -1 when it failed.
    int readPosition();
    // After a restart that ended moves: reads the position (`first` is a read
    // made already) until every late move is answered or two reads an
    // interval apart agree, then forgets the late moves. The position the
    // stage came to rest at; -1 when a read failed, and then the late moves stay.
    int settle(int first);
    // The move answers waiting in m_lines.
    int moveAnswersQueued() const;
    bool z_stage_move(SerialPort_Mode_e mode, const QString& frame);
    // Moves the bytes waiting in the port into the line reader, and the lines
    // they complete into m_lines.
    void receive();
    // Waits for the reply to `verb` among the lines from index `from` of
    // m_lines on, takes it out of the queue and parses it.
    bool readReply_Blocking(const QString& verb, int from, int read_timeout_ms);
    // Hands every queued line to the listener, oldest first; now, or from the
    // event loop.
    void dispatchLines();
    void dispatchLater();
    // Acts on one reply line taken by the listener.
    void handleListenedLine(const QString& line);
    void handlePortError(int error);
    void closeLostLink();

    QSerialPort* m_pSerialPort = nullptr;
    QString m_commandResponse;
    responseInfo_t m_responseInfo;
    int m_current_pos = 0;
    int m_nMovesUnderWay = 0;    // moves sent without waiting, their acknowledgement not yet handled
    int m_nLateMoves = 0;        // moves a restart ended, their answers possibly still to come
    int m_nStageUses = 0;        // StageUse objects alive
    int m_nWriteTimeoutMs = kWriteTimeoutMs;
    int m_nReadTimeoutMs = kReadTimeoutMs;
    LineReader m_lineReader;
    QStringList m_lines;         // whole lines not yet taken, oldest first
    QString m_linkError;         // why the link was lost, once it was
};
