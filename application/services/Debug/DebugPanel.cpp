#include "Debug/DebugPanel.h"

#include <QPlainTextEdit>

DebugPanel::DebugPanel(QWidget* parent)
    : QWidget(parent)
{
}

void DebugPanel::insertPlainText(const QString& text)
{
    m_pTextArea->insertPlainText(text);
}

void DebugPanel::ensureCursorVisible()
{
    m_pTextArea->ensureCursorVisible();
}

void DebugPanel::on_BUTTON_CLEAR_clicked()
{
    m_pTextArea->clear();
}
