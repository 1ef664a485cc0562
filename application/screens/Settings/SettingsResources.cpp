#include "Settings/SettingsResources.h"

#include "Common/CommonResources.h"
#include "Keyboard/KeyboardLook.h"

#include <QtGlobal>

void initSettingsResources()
{
    Q_INIT_RESOURCE(SettingsResources);
    initCommonResources();
    initKeyboardResources();
}
