/* A DLL with one stdcall function, built three ways by the names check: mingw with
   --kill-at (exported as multiply), mingw without it (multiply@8), and the Visual C++
   target (_multiply@8). */
__declspec(dllexport) int __stdcall multiply(int a, int b) { return a * b; }
