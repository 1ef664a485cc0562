#include "Settings/CalibrationSupport.h"

#include "Controller/Controller.h"
#include "HomeDlg/HomeDlg.h"
#include "KovaCore/KovaCoreApp.h"

#include <QPainter>

void moveStageToCentre()
{
    const int centre = theApp.m_nZstageCenterPos;
    if (Controller::instance && Controller::instance->z_stage_move_to(centre) == centre)
        theApp.m_nZstageCurrentPos = centre;
}

std::function<void()>& calibrationCameraOpener()
{
    static std::function<void()> opener;
    return opener;
}

void openCalibrationCamera()
{
    if (calibrationCameraOpener())
        calibrationCameraOpener()();
    else if (theApp.m_pHomeDlg)
        theApp.m_pHomeDlg->openCamera();
}

void drawCalibrationProgress(QWidget* dialog, int filled, const QColor& outline)
{
    const QRect bar(100, 242, kCalibrationProgressWidth, 10);
    QPainter painter(dialog);
    painter.setPen(outline);
    painter.drawRect(bar);
    painter.fillRect(QRect(bar.x(), bar.y(), filled, bar.height()), Qt::white);
    painter.fillRect(QRect(bar.x() + filled, bar.y(), bar.width() - filled, bar.height()), QColor(255, 255, 255, 30));
}
