/* A Visual-C++-style caller of callee.dll: its own prototypes, no headers. answer, stdcall
   without arguments, links through its second name _answer@0. */
int __stdcall sum3(int a, int b, int c);
int __stdcall answer(void);
int __stdcall pick(int which, int value);
int __cdecl add2(int a, int b);
int __fastcall fast3(int a, int b, int c);
__declspec(dllimport) extern int counter;

int main(void) {
    return sum3(1, 2, 3) + pick(1, 5) + add2(2, 3) + fast3(2, 3, 4) + counter + answer();
}
