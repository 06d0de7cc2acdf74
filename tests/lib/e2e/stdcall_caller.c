/* A Visual-C++-style caller of the stdcall function: it references __imp__multiply@8. The
   product is the exit code, so that a run needs no other import. */
__declspec(dllimport) int __stdcall multiply(int a, int b);

int __cdecl start(void) { return multiply(6, 7); }
