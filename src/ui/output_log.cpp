#include "ui/output_log.h"

#include "resource_ids.h"
#include "ui/main_dialog.h"

#include <windows.h>

void AppendLogLine(DialogHandle dialog, const AnsiText& text) {
    AnsiText inserted = "\r\n" + text;
    LRESULT length = SendDlgItemMessageA(dialog, IDC_LOG, WM_GETTEXTLENGTH, 0, 0);
    SendDlgItemMessageA(dialog, IDC_LOG, EM_SETSEL, length, -1);
    SendDlgItemMessageA(dialog, IDC_LOG, EM_REPLACESEL, FALSE,
                        reinterpret_cast<LPARAM>(inserted.c_str()));
}

void SetUpLog(DialogHandle dialog) {
    // The default limit (about 32 K characters) would make EM_REPLACESEL drop a long run's
    // last lines without a word; 0 asks for the largest limit there is.
    SendDlgItemMessageA(dialog, IDC_LOG, EM_SETLIMITTEXT, 0, 0);
    std::optional<std::string_view> note = LoadUsageNote(IDR_USAGE_NOTE);
    AnsiText text = note ? AnsiText(*note) : AnsiText();
    SetDlgItemTextA(dialog, IDC_LOG, text.c_str());
}
