#include "cli/CommandLine.h"
#include "ui/WindowedProgram.h"

int main(int argc, char *argv[])
{
    // --test-merge, --send and --help run without a display.
    if (const auto nExit = RunCommandLine(argc, argv))
        return *nExit;
    return RunWindowedProgram(argc, argv);
}
