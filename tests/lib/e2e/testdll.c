/* The DLL the end-to-end check imports from: a cdecl function, a stdcall function exported
   without its decoration, a variable, and a function exported by ordinal only. */
__declspec(dllexport) int __cdecl add_numbers(int a, int b) { return a + b; }

__declspec(dllexport) int __stdcall multiply(int a, int b) { return a * b; }

__declspec(dllexport) int shared_value = 1234;

int __cdecl secret_code(void) { return 4242; }
