/* Item 2: tail jumps to an imported function on some paths. */
#include "kernel32.h"

static volatile int state;

void API Wait(unsigned long ms) {
    switch (state) {
    case 0: state = 1; break;
    case 1: Sleep(ms); return;
    case 2: state = (int)ms; break;
    case 3: Sleep(ms + 1); return;
    default: state = 0; break;
    }
    state += 2;
}
void API SetError(unsigned long code) {
    if (code == 0)
        return;
    if (code > 100) {
        SetLastError(code);
        return;
    }
    state = (int)code;
}
void API OnlyImport(unsigned long code) { SetLastError(code); }
