#pragma once

#include <chrono>
#include <functional>
#include <memory>

// Runs work once, on a thread of its own, when a wait lasts longer than
// after; ended with the object, after which work never runs. For what no
// timeout of its own can end.
class Watchdog {
 public:
  Watchdog(std::chrono::milliseconds after, std::function<void()> work);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};
