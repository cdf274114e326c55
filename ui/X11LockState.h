#pragma once

#include <optional>

// The lock keys' indicator bits of the core keyboard through XKB (1 Caps Lock, 2 Num Lock,
// 4 Scroll Lock); nothing when the program does not run on X11. Kept apart because the X11
// headers define names (KeyRelease, None) that clash with Qt's.
std::optional<unsigned int> ReadX11LockState();
