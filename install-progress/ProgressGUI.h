#pragma once

#include "BaseUI.h"

#include <memory>

class ProgressView;

// The graphical front end: the progress window, kept for the front end's
// life. New output updates it with the elapsed seconds; at the script's end
// the window shows what standard error still holds; after a successful
// installation ended() is emitted (the window goes with the program), after a
// failed one the window shows it and stays until it is closed.
class ProgressGUI : public BaseUI
{
    Q_OBJECT

public:
    ProgressGUI(QObject* parent, QProcess* process, ElapsedClock clock = ElapsedClock());
    ~ProgressGUI() override;

    void show() override;
    ProgressView* view() const { return m_view.get(); }

public slots:
    void slotOnReadyRead() override;
    void slotOnProcStateChanged(QProcess::ProcessState newState) override;

private:
    std::unique_ptr<ProgressView> m_view;
};
