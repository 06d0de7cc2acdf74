/* The DLL the end-to-end checks import from: a cdecl function, a stdcall function exported
   without its decoration, a variable, a function exported by ordinal only and a fastcall
   function under its decorated name. testdll_exports.def says what is exported how. */
int __cdecl add_numbers(int a, int b) { return a + b; }

int __stdcall multiply(int a, int b) { return a * b; }

int shared_value = 1234;

int __cdecl secret_code(void) { return 4242; }

int __fastcall fast_sum(int a, int b, int c) { return a + b * c; }
