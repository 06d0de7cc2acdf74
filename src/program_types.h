// The types and sizes the whole program shares.
#pragma once
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
