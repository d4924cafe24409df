// A periodic timer on a thread of its own, with the start and kill calls of a system multimedia
// timer: the scope's sample timer runs its polls on it, outside the window thread.
//
//   const std::uint32_t id = platform::timeSetEvent(25, 0, Callback, 1);
//   ...
//   platform::timeKillEvent(id);
//
// - The callback runs on the timer's thread, every Delay milliseconds on a fixed schedule
//   (start + n * Delay, on steady_clock): a late callback does not shift the ones after it. A
//   callback that overruns a whole period is followed at once by the next one; when the timer has
//   fallen more than a period behind, the schedule restarts from now instead of firing a burst.
// - timeKillEvent from another thread stops the timer and waits for a callback that is running.
// - timeKillEvent from inside the timer's own callback stops it without waiting for itself; the
//   thread ends when the callback returns.
// - No exception leaves the timer thread: a throwing callback counts as one tick.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// The callback's arguments: the timer's id, a message (always 0), the user value given at the
// start, and two reserved words (always 0).
using TMMTimerCallback = std::function<void(std::uint32_t TimerId, std::uint32_t Msg,
                                            std::uintptr_t User, std::uintptr_t Dw1,
                                            std::uintptr_t Dw2)>;

constexpr std::uint32_t TIMERR_NOERROR = 0;
constexpr std::uint32_t MMSYSERR_INVALPARAM = 11;

// Starts a periodic timer with a period of Delay ms (Resolution is accepted and not needed).
// Returns the timer's id, never 0; 0 when Delay is 0, the callback is empty or no thread could
// be started.
std::uint32_t timeSetEvent(std::uint32_t Delay, std::uint32_t Resolution, TMMTimerCallback Callback,
                           std::uintptr_t User);

// Stops the timer (see above). TIMERR_NOERROR, or MMSYSERR_INVALPARAM for an id that names no
// running timer.
std::uint32_t timeKillEvent(std::uint32_t TimerId);

}  // namespace platform
