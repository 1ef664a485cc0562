#pragma once

#include "Printer/SPP_R200IIG.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>

class DimOverlay;
class QLineEdit;

namespace Ui {
class Setup_DateTimeDlg;
}

// 1 for a leap year of the Gregorian calendar, else 0.
int checkLeapMonth(int year);

// The dialog that sets the system clock: day, month, year, hour and minute
// fields filled with the current time, its own digit keys, Apply and Back.
// Apply checks the entry and runs "timedatectl set-time"; a reserved value in
// the day field runs a service function instead (leaving for the launcher,
// factory reset, aging, autofocus debug, settings printout, the capture
// program, focus reset). A rejected entry shows message 25 (date) or 26
// (time), a clock the system refuses to set a box titled as 25 with
// timedatectl's reason; either refills the fields with the current time and
// keeps the dialog open.
class Setup_DateTimeDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kCommandTimeoutMs = 30000;
    static constexpr int kPrintPauseMs = 5000;

    // Intervals tests shorten.
    struct Seams
    {
        int commandTimeoutMs = kCommandTimeoutMs;  // timedatectl and the factory-reset script
        int printPauseMs = kPrintPauseMs;          // between the two printout labels
    };
    static Seams& seams();

    explicit Setup_DateTimeDlg(QWidget* parent = nullptr);
    ~Setup_DateTimeDlg() override;

    // Fills the fields with the current date and time, zero-padded.
    void restoreDateTimeUI();
    // Sends the key to the focused field as a hardware keyboard would.
    void ProcessKey(int key);

    // Service: the user settings in theApp back to their factory values (in
    // memory; they reach the settings file at its next write).
    void reset_value();
    // Service: the first 78 lines of the settings file on two labels, when a
    // printer is connected.
    void print_INI();
    // The two label texts of the settings printout of the file at
    // `logicalPath`; header-only pages when it cannot be read.
    static QStringList printoutPages(const QString& logicalPath);

    bool isPrinterConnected() const { return m_bPrinterConnected; }

    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    // The home screen's power-off question over this dialog.
    void slot_set_backLabel(bool show);
    // The aging count from the key pad.
    void slot_set_value(QString text);
    void slotConnectedPrinterDevice();
    void slotDisconnectedPrinterDevice();
    // After an autofocus run elsewhere: the camera open again (made first when
    // there is none) and the dialog usable. Nothing connects it.
    void slotCompletedAFThread();

    void on_BUTTON_APPLY_clicked();
    void on_BUTTON_BACK_clicked();
    void on_BUTTON_KEY_0_clicked();
    void on_BUTTON_KEY_1_clicked();
    void on_BUTTON_KEY_2_clicked();
    void on_BUTTON_KEY_3_clicked();
    void on_BUTTON_KEY_4_clicked();
    void on_BUTTON_KEY_5_clicked();
    void on_BUTTON_KEY_6_clicked();
    void on_BUTTON_KEY_7_clicked();
    void on_BUTTON_KEY_8_clicked();
    void on_BUTTON_KEY_9_clicked();
    void on_BUTTON_KEY_DEL_clicked();

private:
    void setFont();
    QList<QLineEdit*> fields() const;
    // Shows the message, refills the fields and lets the user try again.
    void rejectEntry(int message, QLineEdit* field = nullptr);
    // The same after the system refused to set the clock for `reason`.
    void refuseClock(const QString& reason);
    // Runs timedatectl; false with what it answered in `reason`.
    bool setClock(int year, int month, int day, int hour, int minute, QString* reason);
    // The fields back to the current time, the dialog usable again.
    void restoreEntry(QLineEdit* field);

    // The service functions; false when the entry goes on as a date.
    bool runService(int day, int month);
    void leaveForLauncher();
    void factoryReset();
    void toggleAging();
    void toggleAutofocusDebug();
    void printSettings();
    bool startCapture();
    void resetFocus();

    Ui::Setup_DateTimeDlg* ui;
    std::unique_ptr<DimOverlay> m_pOverlay;
    bool m_bPrinterConnected = false;
    printer::SPP_R200IIG m_printer;
};
