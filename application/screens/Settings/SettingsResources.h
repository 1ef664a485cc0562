#pragma once

// Registers the images the settings screens use: their own (":/Settings/..."),
// the screens' shared ones and the keyboard's back key (":/Common/...").
void initSettingsResources();
