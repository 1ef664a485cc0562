#include "Controller/I2CController.h"

#include "platform/Log.h"
#include "platform/Pmic.h"

I2CController::I2CController() = default;

int I2CController::setPMIC(unsigned char value)
{
    KLOG_ENTER;
    return platform::setPMIC(value);
}

int I2CController::getPMIC(unsigned char& value)
{
    KLOG_ENTER;
    return platform::getPMIC(value);
}
