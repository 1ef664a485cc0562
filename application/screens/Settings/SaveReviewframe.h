#pragma once

#include <QFrame>
#include <QString>

#include <memory>

class KeyboardDlg;

namespace Ui {
class SaveReviewframe;
}

// Settings page 1, save and review options: automatic saving, the base name
// of result files (typed on the keyboard), the suffix (a five-digit sequence
// number or a time stamp), the next sequence number (on the key pad) and the
// scale bar, with a preview of the next result name. Every change goes
// straight into theApp.m_SaveReview.
class SaveReviewframe : public QFrame
{
    Q_OBJECT

public:
    explicit SaveReviewframe(QWidget* parent = nullptr);
    ~SaveReviewframe() override;

    // Loads the controls and the preview from theApp.
    void initialize();
    // True while the base-name keyboard runs.
    bool isKeyboardOpen() const { return m_bKeyboardOpen; }

    // The preview: base name, "_", then the sequence number in five digits
    // (a text that is no number counts as 0) or the time "yyyyMMddhhmmss".
    static QString nextName(const QString& baseName, bool sequence, const QString& sequenceText);

    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void signal_setBackStatus(bool show);

public slots:
    void slotSetName(QString name);
    void slotSetValue(QString value);
    // Dims the base-name keyboard while the power-off question is shown over it.
    void slot_set_backLabel(bool show);

private slots:
    void on_BUTTON_AUTOSAVE_ENABLE_clicked();
    void on_RADIO_SEQUENCE_clicked();
    void on_RADIO_DATE_TIME_clicked();
    void on_BUTTON_SCALEBAR_ENABLE_clicked();

private:
    void setFont();
    void showPreview();
    void editBaseName();
    void editSequence();

    Ui::SaveReviewframe* ui;
    bool m_bKeyboardOpen = false;
    QString m_strLastBaseName;
    std::unique_ptr<KeyboardDlg> m_pKeyboard;  // the last base-name edit's
};
