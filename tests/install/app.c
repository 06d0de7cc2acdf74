/* A program of a cross-build on Linux: it calls every export of the vendor DLL (the whole job's
   test DLL) through the library made by the installed commands, the ordinal-only one by the
   name qen_impdef gave it. It is linked, not run. */
__declspec(dllimport) int __cdecl add_numbers(int a, int b);
__declspec(dllimport) int __stdcall multiply(int a, int b);
__declspec(dllimport) int __cdecl Ordinal4(void);
__declspec(dllimport) int __fastcall fast_sum(int a, int b, int c);
__declspec(dllimport) extern int shared_value;

int __cdecl start(void) {
    return add_numbers(1, 2) + multiply(3, 4) + Ordinal4() + fast_sum(1, 2, 3) + shared_value;
}
