#pragma once

#include <QString>

class QDialog;
class QLabel;
class QWidget;

// A screen's own dimming: a half-transparent black label over the whole
// 800×480 screen. It is up while a box of the screen runs, and while the home
// screen's power-off question asks over the screen. A request to dim
// remembers whether the screen was dimmed already, so the matching request to
// undim leaves that dimming in place.
class DimOverlay
{
public:
    // The label becomes a child of `screen`, hidden.
    explicit DimOverlay(QWidget* screen);

    QLabel* label() const { return m_pLabel; }
    bool isVisible() const;
    void show();  // raised over the screen's widgets
    void hide();

    // The power-off question's request (slot_set_backLabel of the screens).
    void request(bool dim);

    // Runs `dialog` modally over the dimmed screen; its exec() result. A
    // screen dimmed before stays dimmed after.
    int runOver(QDialog& dialog);
    // Runs message `type` of the catalogue over the dimmed screen, with `arg`
    // as its "%2"; 1 for OK, 0 for CANCEL.
    int message(int type, const QString& arg = QString());

private:
    QLabel* m_pLabel;
    bool m_bKept = false;  // dimmed already when the last request to dim came
};
