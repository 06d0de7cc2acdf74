/* A Visual-C++-style caller of the DLL's functions: it references __imp__multiply@8,
   __imp__seven@0 and __imp__six. The exit code is 42 when all three work, so that a run
   needs no other import. */
__declspec(dllimport) int __stdcall multiply(int a, int b);
__declspec(dllimport) int __stdcall seven(void);
__declspec(dllimport) int __cdecl six(void);

int __cdecl start(void) { return multiply(6, 7) + seven() - six() - 1; }
