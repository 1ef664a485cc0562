#pragma once

#include "EndToEndTest.h"

#include "McuState.h"

#include <QImage>
#include <QPoint>
#include <QRect>

// The end-to-end tests of the factory verifier: KOVA3_Verifier (started here,
// or by the launcher) on the private screen over the virtual instrument,
// touched at the places of its form.
class VerifierAppTest : public EndToEndTest
{
protected:
    static constexpr char kTitle[] = "KOVA-II Plus Verifier";
    enum class Tab { Stage, Camera, Qc };

    // Starts KOVA3_Verifier with its debug log on and waits for its window;
    // false (with a test failure) when it does not come.
    bool startVerifier();
    // Installs KOVA3_Verifier where the launcher starts it.
    bool installVerifier();
    // The verifier's window is shown (by whoever started it); false when not.
    bool waitForVerifier();

    // A point of the window given in its own coordinates.
    QPoint onWindow(int x, int y) const { return m_origin + QPoint(x, y); }
    // A widget of a tab page, by its geometry on the page, in the window.
    static QRect inWindow(const QRect& tabWidget);
    // The centre of a widget of a tab page on the screen.
    QPoint onTab(const QRect& widget) const { return m_origin + inWindow(widget).center(); }
    // Touches a point, or a tab widget's centre, or a tab's header.
    bool touch(const QPoint& point) { return EndToEndTest::touch(point.x(), point.y()); }
    using EndToEndTest::touch;
    bool touchTab(const QRect& widget) { return touch(onTab(widget)); }
    bool showTab(Tab tab);

    // Waits for a message box of the verifier (title "KOVA-III" or "Error"),
    // answers it with keys ("Return" for OK, "alt+y" for Yes) and waits
    // until it is gone; false when none came or it stayed.
    bool answerBox(const QString& title, const QString& keys);

    // The simulated microcontroller's state file.
    McuState instrumentState() const;

    // A region of the window (in its coordinates) as it stands.
    QImage shot(const QRect& region);
    // The view area (the left 640 × 480 of the window) as it stands.
    QImage view() { return shot(QRect(0, 0, 640, 480)); }
    // Keeps an image beside the test as `name`.png, for a check that failed on it.
    static void keep(const QImage& image, const char* name);

    QProcess* verifier = nullptr;

private:
    QPoint m_origin;
};
