/* Item 8: functions without arguments that switch through a jump table, and a thread's init
   and end that are each a single jmp into a shared function, beside a function with arguments
   that switches the same way. */
#include "kernel32.h"

static volatile int state, sink;

static __declspec(noinline) void Step(void) {
    switch (state) {
    case 0: Sleep(1); break;
    case 1: SetLastError(5); break;
    case 2: sink = 7; break;
    case 3: Sleep(sink); break;
    case 4: SetLastError(sink + 1); break;
    case 5: sink = (int)GetTickCount(); break;
    default: break;
    }
}

void API ThreadInit(void) { Step(); }
void API ThreadEnd(void) { Step(); }
int API Phase(void) {
    switch (state) {
    case 0: return (int)GetTickCount();
    case 1: return 11;
    case 2: return sink;
    case 3: Sleep(2); return 3;
    case 4: return (int)GetLastError();
    case 5: return sink * 5;
    default: return -1;
    }
}
int API PhaseOf(int which, int by) {
    switch (which) {
    case 0: return (int)GetTickCount() + by;
    case 1: return 11 * by;
    case 2: return sink - by;
    case 3: Sleep(2); return by;
    case 4: return (int)GetLastError() ^ by;
    case 5: return sink * 5;
    default: return -1;
    }
}
