/* A DLL with a stdcall function, built three ways by the names check: mingw with --kill-at
   (exported as multiply), mingw without it (multiply@8), and the Visual C++ target
   (_multiply@8). Beside it two functions without arguments, one stdcall and one cdecl, whose
   calls are the same instructions. */
__declspec(dllexport) int __stdcall multiply(int a, int b) { return a * b; }
__declspec(dllexport) int __stdcall seven(void) { return 7; }
__declspec(dllexport) int __cdecl six(void) { return 6; }
