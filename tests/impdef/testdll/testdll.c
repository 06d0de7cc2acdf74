/* A small DLL whose export table covers every kind of entry the definition tool writes. */
int __cdecl add_numbers(int a, int b) { return a + b; }
int __stdcall sum_stdcall(int a, int b) { return a + b; }
int HeapSize(void) { return 4096; }
int hidden_by_ordinal(void) { return 7; }
int Ordinal5(void) { return 5; }
int exported_counter = 42;
const char exported_text[] = "text";
