#include "KovaCore/GlobalIni.h"

uint16_t g_RegIdx[kRegisterCount] = {};

static global_ini_s g_global_ini;

global_ini_s* global_ini()
{
    return &g_global_ini;
}
