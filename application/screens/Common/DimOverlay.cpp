#include "Common/DimOverlay.h"

#include "Message/MessageDlg.h"

#include <QDialog>
#include <QLabel>

DimOverlay::DimOverlay(QWidget* screen) : m_pLabel(new QLabel(screen))
{
    m_pLabel->setObjectName(QStringLiteral("DIM_OVERLAY"));
    m_pLabel->setWindowFlags(Qt::BypassWindowManagerHint);
    m_pLabel->setStyleSheet(QStringLiteral("background-color: rgba(0, 0, 0, 50%);"));
    m_pLabel->setGeometry(0, 0, 800, 480);
    m_pLabel->hide();
}

bool DimOverlay::isVisible() const
{
    return !m_pLabel->isHidden();
}

void DimOverlay::show()
{
    m_pLabel->raise();
    m_pLabel->show();
}

void DimOverlay::hide()
{
    m_pLabel->hide();
}

void DimOverlay::request(bool dim)
{
    if (dim) {
        m_bKept = isVisible();
        show();
    } else if (!m_bKept) {
        hide();
    }
}

int DimOverlay::runOver(QDialog& dialog)
{
    // A box over a screen that is dimmed already (a save under way) leaves it so.
    const bool dimmed = isVisible();
    show();
    dialog.raise();
    const int result = dialog.exec();
    if (!dimmed)
        hide();
    return result;
}

int DimOverlay::message(int type, const QString& arg)
{
    MessageDlg box;
    box.m_strArg2 = arg;
    box.setMsgType(type);
    return runOver(box);
}
