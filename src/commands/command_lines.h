// The exact command lines handed to process creation for the two tools.
#pragma once
#include "morvane.h"

// "{tool}" "{dll}" -o "{def}", or with -c before -o when only names are wanted.
CommandLine BuildImpdefCommand(const AnsiText& toolPath, const AnsiText& dllPath,
                               const AnsiText& defPath, bool namesOnly);

// "{tool}" /DEF:"{def}" /MACHINE:IX86
CommandLine BuildLibCommand(const AnsiText& toolPath, const AnsiText& defPath);
