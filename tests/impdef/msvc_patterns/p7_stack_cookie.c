/* flags: -fstack-protector-strong */
/* Item 7: frames with a stack cookie (xor eax, esp; or xor eax, ebp after and esp, -64), and
   local arrays indexed in a loop; drawing functions without arguments that call stdcall
   imports, beside functions with arguments in the same frames. */
#include "kernel32.h"

int _fltused = 1;
unsigned int __security_cookie = 0xBB40E64E;
void __fastcall __security_check_cookie(unsigned int cookie) {
    if (cookie != __security_cookie)
        ExitProcess(3);
}

static volatile int counter;

void API DrawAligned(void) {
    __declspec(align(64)) volatile float block[16];
    for (int i = 0; i < 16; ++i)
        block[i] = (float)counter;
    Sleep(4);
    SetLastError((unsigned long)block[3]);
}
void API DrawPair(void) {
    volatile double pair[2];
    char name[32];
    for (int i = 0; i < 32; ++i)
        name[i] = (char)counter;
    pair[0] = counter;
    pair[1] = name[5];
    Sleep(4);
    Sleep((unsigned long)pair[1]);
}
int API NameSum(void) {
    char name[40];
    for (int i = 0; i < 40; ++i)
        name[i] = (char)(counter + i);
    SetLastError(0);
    int sum = 0;
    for (int i = 0; i < 40; i += 3)
        sum += name[i];
    return sum;
}
int API AlignedScale(int value, int by) {
    __declspec(align(64)) volatile int block[16];
    for (int i = 0; i < 16; ++i)
        block[i] = value * i;
    Sleep(4);
    return block[by & 15];
}
int API NamedAt(int at) {
    char name[40];
    for (int i = 0; i < 40; ++i)
        name[i] = (char)(counter + i);
    Sleep(1);
    return name[at % 40];
}
int __cdecl CdeclFill(int seed, int count) {
    char name[40];
    for (int i = 0; i < 40; ++i)
        name[i] = (char)(seed + i);
    return name[count % 40];
}
