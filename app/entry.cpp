#include <windows.h>
#include <cstdlib>
#include <new>
#include "app/main.h"

// The library's nothrow new wraps the throwing one in a try block, which drags the whole exception runtime
// (a third of the program's size) into a program that never throws.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }

// The program reads no command line and has no static objects to construct, so it starts here rather than in
// the C runtime's start-up, which would only parse arguments and set up what nothing uses.
extern "C" void WINAPI VitreaStart() { ExitProcess(static_cast<UINT>(VitreaMain(GetModuleHandleW(nullptr)))); }
