/* An ARM64 program that imports all three exports of arm64dll.dll, the ordinal-only one under
   the name qen_impdef gave it. It is linked, not run. */
__declspec(dllimport) int scale(int a, int b);
__declspec(dllimport) extern int arm64_value;
__declspec(dllimport) int Ordinal3(void);

int start(void) { return scale(arm64_value, 2) + Ordinal3(); }
