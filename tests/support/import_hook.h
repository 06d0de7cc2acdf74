// Replaces one imported function of the test program itself for as long as the hook lives,
// through the program's import address table. Code linked into the test program (the runner
// among it) calls the replacement instead of the system's function.
#pragma once

struct ImportHook {
    ImportHook(const char* dllName, const char* functionName, void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;
    void** slot; // nullptr when the program does not import the function
    void* original;
};
