/* The ARM64 DLL of the whole job: a function, a variable and a function exported by ordinal
   only, as arm64dll_exports.def says. */
int scale(int a, int b) { return a * b + 1; }

int arm64_value = 64;

int hidden_code(void) { return 6464; }
