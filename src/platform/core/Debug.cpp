#include "platform/core/Debug.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

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

}  // namespace px
