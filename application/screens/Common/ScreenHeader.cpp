#include "Common/ScreenHeader.h"

#include "KovaCore/KovaCoreApp.h"

#include <QLabel>

bool isViabilityMode()
{
    return theApp.m_CountingMode != BF_TOTAL_CELL_COUNTING;
}

QString loadedProtocolName()
{
    return isViabilityMode() ? theApp.m_strViabilityProtocolName : theApp.m_strTotalProtocolName;
}

void showCountingMode(QLabel* badge, QLabel* protocol)
{
    badge->setStyleSheet(QStringLiteral("QLabel { background-image: url(:/Common/%1); border : none; }")
                             .arg(isViabilityMode() ? QStringLiteral("BF_V_mode.png") : QStringLiteral("BF_T_mode.png")));
    protocol->setText(loadedProtocolName());
}
