// The log box IDC_LOG: the usage note at start, then one appended line per call.
#pragma once
#include "morvane.h"

// Appends CR LF and then the text at the very end of the log, whatever is selected.
void AppendLogLine(DialogHandle dialog, const AnsiText& text);
