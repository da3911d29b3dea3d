#pragma once
#include <windows.h>

// Taskbar steps of APPMSG_SETALPHA: before the table update on apply, after the table check on removal.
void TaskbarApplySteps(BYTE alpha);
void TaskbarRemoveSteps();

// Starts a fade of the taskbar to opaque (fadeIn) or back to the chosen alpha, ending the one before;
// hoverCount is the performance counter when the mouse moved, which the fade's duration counts from.
void StartTaskbarFade(HWND window, bool fadeIn, LONGLONG hoverCount);
// Ends the running fade, if there is one, and returns once its thread has finished. Main thread only.
void EndTaskbarFade();

// The arithmetic of one fade, apart from its timer and window.
struct FadeRun {
    float current;  // the running alpha before clamping
    float step;     // added on every tick: positive fading in, negative fading out
    LONG ticksLeft; // the tick that brings this to 0 applies the target
    bool fadeIn;
};
struct FadeAlpha {
    BYTE alpha;
    bool finished;
};

// Milliseconds per tick: one timed SetLayeredWindowAttributes call (performance-counter counts) plus 10.
UINT FadePeriod(LONGLONG callCounts, LONGLONG countsPerSecond);
// How many ticks a fade of `duration` milliseconds takes; 0 when the period is longer than the duration.
LONG FadeTickCount(LONG duration, UINT period);
// A fade in from `current` to 255, or a fade out to `chosen` with the step of the full range 255 to `chosen`.
FadeRun FadeStart(bool fadeIn, BYTE current, BYTE chosen, LONG ticks);
// One tick: the alpha to show, held between `chosen` and 255, and whether the fade has reached its target.
FadeAlpha FadeAdvance(FadeRun& run, BYTE chosen);
