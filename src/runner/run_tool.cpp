#include "runner/run_tool.h"

// Not written yet: tools are not run.
int RunTool(DialogHandle, CommandLine) {
    return -1;
}
