// Types and IDs shared by the whole program. The resource script includes this file too,
// so everything that is not a plain #define stays out of its sight.
#pragma once

// Dialog, control and resource IDs.
#define IDD_MAIN 1000
#define IDC_MAKE_DEF 1001
#define IDC_DLL_PATH 1002
#define IDC_DEF_PATH 1003
#define IDC_MAKE_LIB 1004
#define IDC_LOG 1005
#define IDC_WEB_LINK 1006
#define IDC_CREDIT 1007
#define IDC_NAMES_ONLY 1008
#define IDB_LINK 100
#define IDR_USAGE_NOTE 101
#define IDI_MAIN 32512

#ifndef RC_INVOKED
#include <string>

// 8-bit text in code page 936: paths, messages, command lines and tool output.
using AnsiText = std::string;

// A whole command line as handed to process creation; its first token is the quoted tool path.
using CommandLine = AnsiText;

// The main dialog's window handle. Declared without <windows.h> so that portable code can
// carry it; it is the same type as a STRICT HWND.
struct HWND__;
using DialogHandle = HWND__*;

constexpr int MAX_PATH_SIZE = 260;
constexpr int LINE_BUFFER_SIZE = 4096;
constexpr int READ_BUFFER_SIZE = 32;
#endif
