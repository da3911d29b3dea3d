#include "app/startup_split.h"

namespace {
LONGLONG* marks;
bool looked;

void OpenMarks() {
    looked = true;
    HANDLE block = OpenFileMappingW(FILE_MAP_WRITE, FALSE, startupSplitBlock);
    if (!block) return;
    // The view stays for the whole run; the handle is not needed for it.
    marks = static_cast<LONGLONG*>(MapViewOfFile(block, FILE_MAP_WRITE, 0, 0, startupStepCount * sizeof(LONGLONG)));
    CloseHandle(block);
}
} // namespace

void MarkStartup(StartupStep step) {
    if (looked && !marks) return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now); // before the block is opened, so the first step does not carry that
    if (!looked) OpenMarks();
    if (marks) marks[step] = now.QuadPart;
}
