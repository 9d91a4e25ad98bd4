// The whole program put together: the shared objects in their fixed order and
// the windows registered with the shell.
#pragma once

#include "shell/app.h"

namespace tarvolen {

// The shell's view of this program: object creation, windows, main form.
Application MakeApplication(int argc, char** argv);

// Runs the controller with whatever device libraries are installed.
int RunTarvolen(int argc, char** argv);

}  // namespace tarvolen
