#include <windows.h>

#include "files/watchdog.h"

// A timer of the system's own thread pool: no thread library needed.
struct Watchdog::State {
  std::function<void()> work;
  HANDLE timer = nullptr;
};

namespace {

void CALLBACK Fire(PVOID state, BOOLEAN) { static_cast<std::function<void()>*>(state)->operator()(); }

}  // namespace

Watchdog::Watchdog(std::chrono::milliseconds after, std::function<void()> work)
    : state_(std::make_unique<State>()) {
  state_->work = std::move(work);
  if (!::CreateTimerQueueTimer(&state_->timer, nullptr, Fire, &state_->work,
                               static_cast<DWORD>(after.count()), 0, WT_EXECUTEONLYONCE))
    state_->timer = nullptr;
}

Watchdog::~Watchdog() {
  // Waits for a work already running to end.
  if (state_->timer) ::DeleteTimerQueueTimer(nullptr, state_->timer, INVALID_HANDLE_VALUE);
}
