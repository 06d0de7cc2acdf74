// The log box IDC_LOG: the usage note at start, then one appended line per call.
#pragma once
#include "program_types.h"

// Appends CR LF and then the text at the very end of the log, whatever is selected.
void AppendLogLine(DialogHandle dialog, const AnsiText& text);

// The log's start, the last step of the dialog's set-up: lifts the edit control's text limit so
// that no appended line is ever dropped, and makes the usage note its whole text.
void SetUpLog(DialogHandle dialog);
