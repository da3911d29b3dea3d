#include <windows.h>
#include <cstdlib>
#include <new>
#include "app/main.h"

// The library's nothrow new wraps the throwing one in a try block, which drags the whole exception runtime
// (a third of the program's size) into a program that never throws.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return VitreaMain(instance); }
