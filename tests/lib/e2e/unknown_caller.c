/* A Visual-C++-style caller of the DLL qen_impdef cannot decorate: it references __imp__quit@4
   and __imp__suspect@4, and exits with 42 through quit. */
__declspec(dllimport) __attribute__((noreturn)) void __stdcall quit(int code);
__declspec(dllimport) int __stdcall suspect(int value);

void __cdecl start(void) { quit(suspect(42)); }
