// The one version of Morvane.exe and its two tools. Plain #defines: the resource script reads
// this file too. The three forms change together.
#pragma once
#define MORVANE_VERSION_NUMBERS 1, 0, 0, 0
#define MORVANE_VERSION_TEXT "1.0.0.0"
// What the tools print after their names: the first two numbers.
#define MORVANE_TOOL_VERSION_TEXT "1.0"
