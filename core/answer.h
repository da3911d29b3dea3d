#pragma once
#include <windows.h>
#include <optional>

// A message handler's answer: the result, or passOn for the window's default processing, which only the window
// procedure runs (a handler never calls it with its own message number).
using Answer = std::optional<LRESULT>;
inline constexpr std::nullopt_t passOn = std::nullopt;
