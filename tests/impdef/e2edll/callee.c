/* A DLL with an export of each calling convention a Visual C++ caller meets. */
int __stdcall sum3(int a, int b, int c) { return a + b + c; }
int __stdcall pick(int which, int value) {
    if (which > 0)
        return value * 2;
    return -value;
}
int __stdcall answer(void) { return 42; }
int __cdecl add2(int a, int b) { return a + b; }
int __fastcall fast3(int a, int b, int c) { return a * b + c; }
int counter = 7;
