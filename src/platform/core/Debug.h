#pragma once
// Debugger output. Non-fatal problems are reported as text lines through
// OutputDebugString; by default they go to standard error when the environment
// variable PX_DEBUG_OUTPUT is set and are dropped otherwise. Tests install their
// own sink to capture them.
#include <functional>
#include <memory>
#include <vector>
#include <string>
#include <string_view>

#include "platform/core/Types.h"

namespace px {

using TDebugSink = std::function<void(std::string_view line)>;

void OutputDebugString(std::string_view line);

// Replaces the sink and returns the previous one. An empty function restores
// the default behaviour. The sink is called under a lock, from any thread.
TDebugSink SetDebugSink(TDebugSink sink);

// Captures every debug line for the lifetime of the object (for tests).
class TDebugCapture {
 public:
  TDebugCapture();
  ~TDebugCapture();
  TDebugCapture(const TDebugCapture&) = delete;
  TDebugCapture& operator=(const TDebugCapture&) = delete;
  std::vector<std::string> Lines() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
  TDebugSink previous_;
};

// The short system sound of a refused action. Rings the terminal bell when
// there is no GUI layer; the GUI layer installs its own through SetBeepHandler.
void Beep();
void SetBeepHandler(std::function<void()> handler);

// A tone of the given frequency (Hz) and length (ms), played before the call
// returns. The sink plays it; the default one rings the plain beep and waits
// for the tone's length, as a tone generator would. Tests replace the sink.
using TToneSink = std::function<void(Cardinal frequency, Cardinal duration)>;
void Beep(Cardinal frequency, Cardinal duration);
// Returns the previous sink; an empty function restores the default.
TToneSink SetToneSink(TToneSink sink);

}  // namespace px
