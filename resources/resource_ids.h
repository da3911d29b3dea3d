#pragma once
// Resource ids of the program's own module.
#define IDI_VITREA 50
#define IDB_ABOUT 52
#define IDB_OPTIONS 101
#define IDB_OPTIONS_PRESSED 102
