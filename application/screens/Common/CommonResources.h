#pragma once

// The images every screen shares (home button, counting-mode badges, check
// boxes, scroll arrows) live in the screens' static library; this registers them.
void initCommonResources();
