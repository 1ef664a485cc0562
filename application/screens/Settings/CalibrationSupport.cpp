#include "Settings/CalibrationSupport.h"

#include "Controller/Controller.h"
#include "HomeDlg/HomeDlg.h"
#include "KovaCore/KovaCoreApp.h"

#include "platform/Log.h"

void moveStageToCentre()
{
    Controller* link = Controller::instance;
    if (!link)
        return;
    const int position = link->z_stage_pos();
    if (position < 0) {
        KLOG << "[Error] stage position unknown; the stage stays";
        return;
    }
    const int difference = position - theApp.m_nZstageCenterPos;
    if (difference > 0)
        link->z_stage_mvn(Controller::MODE_NON_BLOCKING, difference);
    else if (difference < 0)
        link->z_stage_mvp(Controller::MODE_NON_BLOCKING, -difference);
    else
        theApp.m_nZstageCurrentPos = position;
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
