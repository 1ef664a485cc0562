#pragma once

#include "Controller/Controller.h"

namespace verifier {

// The verifier's microcontroller link: the application's link with these
// differences. One instance, made on first use. In Zig mode the port is
// opened without the handshake, which the Connect button runs later
// (trySerialPort, which also opens a port that a failed handshake closed).
// The power-switch and restart reports change nothing. A blocking downward
// move lowers the tracked position only while the result stays above 0.
// The stage's self-diagnosis waits up to 25 s for its answer.
class Controller : public ::Controller
{
    Q_OBJECT

public:
    static constexpr int kDiagnosisTimeoutMs = 25000;

    // The one link: the one constructed first (a test's), else made now.
    static Controller* getInstance();

    explicit Controller(QObject* parent = nullptr);
    ~Controller() override;

    // Zig mode: opening the port sends nothing. Set before openSerialPort.
    void setZigMode(bool on) { m_bZigMode = on; }
    // Opens the port; without Zig mode the handshake follows. A port that is
    // already open is only listened to again.
    void openSerialPort() override;

    // The stage's self-diagnosis number (0 when the answer holds none); -1
    // when it is not answered "OK" within the diagnosis window.
    int z_stage_diagnosis();
    // The diagnosis window (25 s by default); tests shorten it.
    void setDiagnosisTimeout(int timeoutMs) { m_nDiagnosisTimeoutMs = timeoutMs; }

protected:
    int loweredPosition(int position, int steps) const override;
    void handleReport(const QString& command) override;

private:
    static Controller* s_instance;
    bool m_bZigMode = false;
    int m_nDiagnosisTimeoutMs = kDiagnosisTimeoutMs;
};

}  // namespace verifier
