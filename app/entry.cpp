#include <windows.h>
#include "app/main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return VitreaMain(instance); }
