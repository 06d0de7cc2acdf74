#include "ui/output_log.h"

#include <windows.h>

void AppendLogLine(DialogHandle dialog, const AnsiText& text) {
    AnsiText inserted = "\r\n" + text;
    LRESULT length = SendDlgItemMessageA(dialog, IDC_LOG, WM_GETTEXTLENGTH, 0, 0);
    SendDlgItemMessageA(dialog, IDC_LOG, EM_SETSEL, length, -1);
    SendDlgItemMessageA(dialog, IDC_LOG, EM_REPLACESEL, FALSE,
                        reinterpret_cast<LPARAM>(inserted.c_str()));
}
