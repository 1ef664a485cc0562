#pragma once

#include "KovaCore/KovaCoreApp.h"
#include "Network/NetworkManager.h"

// The application's network manager, as the program's start-up makes it: once,
// for the whole run. Screens and the home screen's start-up reach it through
// theApp; under a test root without interfaces it finds nothing to do.
inline NetworkManager& appNetworkManager()
{
    if (!theApp.m_pNetworkManager)
        theApp.m_pNetworkManager = new NetworkManager;
    return *theApp.m_pNetworkManager;
}
