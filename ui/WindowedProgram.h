#pragma once

// Runs the windowed program: the main window on the merge file named as the only argument (or
// the start-up choice), or, for "--print FILE.mgx", prints that merge's message and ends.
// Returns the exit code.
int RunWindowedProgram(int argc, char *argv[]);
