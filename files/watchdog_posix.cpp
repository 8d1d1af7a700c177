#include <condition_variable>
#include <mutex>
#include <thread>

#include "files/watchdog.h"

struct Watchdog::State {
  std::mutex mutex;
  std::condition_variable ended;
  bool over = false;
  std::thread thread;
};

Watchdog::Watchdog(std::chrono::milliseconds after, std::function<void()> work)
    : state_(std::make_unique<State>()) {
  state_->thread = std::thread([state = state_.get(), after, work = std::move(work)] {
    std::unique_lock<std::mutex> lock(state->mutex);
    if (!state->ended.wait_for(lock, after, [state] { return state->over; })) work();
  });
}

Watchdog::~Watchdog() {
  {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    state_->over = true;
  }
  state_->ended.notify_one();
  state_->thread.join();
}
