/* Item 0: functions without arguments, beside a few with arguments for contrast. */
#include "kernel32.h"

static volatile int counter;
static int table[16];

int API VersionNumber(void) { return 0x0102; }
int API CounterValue(void) { return counter; }
void API CounterReset(void) { counter = 0; }
unsigned long API Uptime(void) { return GetTickCount() / 1000; }
void API Nap(void) { Sleep(counter); }
int API TableSum(void) {
    int sum = 0;
    for (int i = 0; i < 16; ++i)
        sum += table[i] * i;
    return sum;
}
int API LocalWork(void) {
    volatile int local[4] = {1, 2, 3, 4};
    return local[0] + local[3] + counter;
}
unsigned long API LastErrorOrTick(void) {
    unsigned long e = GetLastError();
    return e ? e : GetTickCount();
}
int __cdecl CdeclCount(void) { return counter + 1; }
int __cdecl CdeclAdd(int a, int b) { return a + b + counter; }
int API Scale(int value) { return value * counter; }
int API Mix(int a, int b, int c) { return a * b - c + table[a & 15]; }
