#pragma once

#include "BaseUI.h"

#include <cstdio>

// The text front end: each call on new output writes "Elapsed time: mm:ss "
// and then, in order, waiting standard-error text as it came and every
// complete progress line with its "=" characters removed (other lines are
// dropped), to `out` in one piece, without adding a line end. At the end it
// writes what standard error still holds, then "Installation complete" or
// "Installation failed", and emits ended().
class ProgressTUI : public BaseUI
{
    Q_OBJECT

public:
    ProgressTUI(QObject* parent, QProcess* process, ElapsedClock clock = ElapsedClock(), std::FILE* out = stdout);

public slots:
    void slotOnReadyRead() override;
    void slotOnProcStateChanged(QProcess::ProcessState newState) override;

private:
    // The script's waiting output as it is written: standard error as it
    // came, progress lines without their "=" characters.
    QByteArray readOutput(bool ended);
    void write(const QByteArray& text);

    std::FILE* m_out;
};
