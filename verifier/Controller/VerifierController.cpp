#include "Controller/VerifierController.h"

#include "platform/Log.h"

namespace verifier {

Controller* Controller::s_instance = nullptr;

Controller* Controller::getInstance()
{
    if (!s_instance)
        new Controller();  // registers itself; lives as long as the program
    return s_instance;
}

Controller::Controller(QObject* parent)
    : ::Controller(parent)
{
    if (!s_instance)
        s_instance = this;
}

Controller::~Controller()
{
    if (s_instance == this)
        s_instance = nullptr;
}

void Controller::openSerialPort()
{
    KLOG_ENTER;
    if (isOpen()) {
        KLOG << "the serial port is already open";
        setPortListener(true);
        return;
    }
    if (openPort() && !m_bZigMode)
        trySerialPort();
}

int Controller::z_stage_diagnosis()
{
    KLOG_ENTER;
    if (!command_Blocking(makeFrame(QStringLiteral("STM1"), QStringLiteral("SELF_DIAG")), m_nDiagnosisTimeoutMs))
        return -1;
    return response().value.toInt();
}

int Controller::loweredPosition(int position, int steps) const
{
    const int lowered = movedPosition(position, -qint64(steps));
    return lowered > 0 ? lowered : position;
}

void Controller::handleReport(const QString& command)
{
    KLOG << "report not acted on:" << command;
}

}  // namespace verifier
