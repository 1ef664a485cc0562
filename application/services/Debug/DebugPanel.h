#pragma once

#include <QString>
#include <QWidget>

class QPlainTextEdit;

// The behaviour both debug text panels share; each panel's form supplies the
// text area and a "Clear" button named BUTTON_CLEAR (connected by name).
class DebugPanel : public QWidget
{
    Q_OBJECT

public:
    // Inserts at the text area's cursor; callers put their own line breaks in.
    void insertPlainText(const QString& text);
    // Scrolls so that the cursor shows; call after a batch of inserts.
    void ensureCursorVisible();

protected:
    explicit DebugPanel(QWidget* parent);
    void setTextArea(QPlainTextEdit* textArea) { m_pTextArea = textArea; }

private slots:
    void on_BUTTON_CLEAR_clicked();

private:
    QPlainTextEdit* m_pTextArea = nullptr;
};
