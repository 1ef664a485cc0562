#include "Common/CommonResources.h"

#include <QtGlobal>

void initCommonResources()
{
    Q_INIT_RESOURCE(CommonResources);
}
