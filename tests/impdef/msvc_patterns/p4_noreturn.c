/* Item 4: calls that never return, then padding, then the next function. */
#include "kernel32.h"

static volatile int depth;

static __declspec(noinline) __declspec(noreturn) void Fail(int code) {
    depth = code;
    ExitProcess((unsigned)code);
}
int API Yield(int a, int b, int c) {
    if (a < 0)
        Fail(a);
    depth = a + b;
    return c;
}
void API Abort(int code) { ExitProcess((unsigned)code + 1); }
int API Checked(int value, int limit) {
    if (value > limit)
        Fail(2);
    return value * 2;
}
