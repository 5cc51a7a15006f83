#include "platform/core/Debug.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace px {
namespace {

std::mutex& sinkMutex() {
  static std::mutex m;
  return m;
}

TDebugSink& currentSink() {
  static TDebugSink sink;
  return sink;
}

std::function<void()>& beepHandler() {
  static std::function<void()> handler;
  return handler;
}

}  // namespace

void OutputDebugString(std::string_view line) {
  std::lock_guard lock(sinkMutex());
  if (currentSink()) {
    currentSink()(line);
  } else if (std::getenv("PX_DEBUG_OUTPUT")) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
  }
}

TDebugSink SetDebugSink(TDebugSink sink) {
  std::lock_guard lock(sinkMutex());
  TDebugSink previous = std::move(currentSink());
  currentSink() = std::move(sink);
  return previous;
}

struct TDebugCapture::State {
  mutable std::mutex mutex;
  std::vector<std::string> lines;
};

TDebugCapture::TDebugCapture() : state_(std::make_shared<State>()) {
  auto state = state_;
  previous_ = SetDebugSink([state](std::string_view line) {
    std::lock_guard lock(state->mutex);
    state->lines.emplace_back(line);
  });
}

TDebugCapture::~TDebugCapture() { SetDebugSink(std::move(previous_)); }

std::vector<std::string> TDebugCapture::Lines() const {
  std::lock_guard lock(state_->mutex);
  return state_->lines;
}

void Beep() {
  std::function<void()> handler;
  {
    std::lock_guard lock(sinkMutex());
    handler = beepHandler();
  }
  if (handler) {
    handler();
  } else {
    std::fputc('\a', stderr);
    std::fflush(stderr);
  }
}

void SetBeepHandler(std::function<void()> handler) {
  std::lock_guard lock(sinkMutex());
  beepHandler() = std::move(handler);
}

namespace {
TToneSink& toneSink() {
  static TToneSink sink;
  return sink;
}
}  // namespace

void Beep(Cardinal frequency, Cardinal duration) {
  TToneSink sink;
  {
    std::lock_guard lock(sinkMutex());
    sink = toneSink();
  }
  if (sink) {
    sink(frequency, duration);
    return;
  }
  Beep();
  std::this_thread::sleep_for(std::chrono::milliseconds(duration));
}

TToneSink SetToneSink(TToneSink sink) {
  std::lock_guard lock(sinkMutex());
  TToneSink old = std::move(toneSink());
  toneSink() = std::move(sink);
  return old;
}

}  // namespace px
