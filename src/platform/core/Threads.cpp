#include "platform/core/Threads.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/core/Debug.h"
#include "platform/core/Exceptions.h"

namespace px {

namespace {

// A call handed to the main thread.
struct SyncCall {
  SyncCall(TThread* caller, std::function<void()> call, bool isQueued)
      : thread(caller), method(std::move(call)), queued(isQueued) {}
  TThread* thread;
  std::function<void()> method;
  bool queued;
  bool done = false;
  std::exception_ptr error;
};

// Everything the hand-over shares. One lock and one condition for all of it:
// waits are rare and short, and a single condition cannot miss a wake-up that
// another one would have carried.
struct HandOver {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::shared_ptr<SyncCall>> pending;
  std::function<void()> wake;
};

// Never destroyed: threads may still hand over calls while the program ends.
HandOver& handOver() {
  static HandOver* state = new HandOver;
  return *state;
}

std::atomic<TThreadID> mainThreadId{0};

// The threads whose Synchronize calls the main thread is running right now
// (innermost last): such a thread cannot end before its call returns.
thread_local std::vector<TThread*> runningCallsOf;

// The thread that loads the program is the main thread unless told otherwise.
[[maybe_unused]] const bool mainThreadNoted = (MainThreadID(), true);

void wakeMainThread() {
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(handOver().mutex);
    wake = handOver().wake;
  }
  if (wake) wake();
}

void reportSwallowed(const char* where) {
  try {
    throw;
  } catch (const std::exception& e) {
    OutputDebugString(std::string(where) + ": " + e.what());
  } catch (...) {
    OutputDebugString(std::string(where) + ": unknown exception");
  }
}

}  // namespace

TThreadID GetCurrentThreadId() { return static_cast<TThreadID>(::syscall(SYS_gettid)); }

TThreadID MainThreadID() {
  TThreadID id = mainThreadId.load();
  if (id == 0) {
    TThreadID expected = 0;
    const TThreadID self = GetCurrentThreadId();
    id = mainThreadId.compare_exchange_strong(expected, self) ? self : expected;
  }
  return id;
}

bool IsMainThread() { return GetCurrentThreadId() == MainThreadID(); }

void SetMainThread() { mainThreadId = GetCurrentThreadId(); }

void SetWakeMainThread(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(handOver().mutex);
  handOver().wake = std::move(wake);
}

bool CheckSynchronize(Integer timeoutMs) {
  if (!IsMainThread())
    throw EThread("CheckSynchronize called from thread " + std::to_string(GetCurrentThreadId()) +
                  ", which is NOT the main thread");
  HandOver& h = handOver();
  std::unique_lock<std::mutex> lock(h.mutex);
  if (timeoutMs > 0 && h.pending.empty())
    h.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !h.pending.empty(); });
  // One call at a time, so that a call which itself waits for a thread (and so
  // runs CheckSynchronize again) still finds the calls behind it. Calls handed
  // over meanwhile wait for the next round.
  size_t budget = h.pending.size();
  bool ran = false;
  while (budget-- > 0 && !h.pending.empty()) {
    std::shared_ptr<SyncCall> call = std::move(h.pending.front());
    h.pending.pop_front();
    lock.unlock();
    ran = true;
    if (call->queued) {
      try {
        call->method();
      } catch (...) {
        lock.lock();
        const bool more = !h.pending.empty();
        lock.unlock();
        if (more) wakeMainThread();
        throw;
      }
    } else {
      runningCallsOf.push_back(call->thread);
      try {
        call->method();
      } catch (...) {
        call->error = std::current_exception();
      }
      runningCallsOf.pop_back();
      lock.lock();
      call->done = true;
      h.changed.notify_all();
      lock.unlock();
    }
    lock.lock();
  }
  return ran;
}

// --- TEvent -------------------------------------------------------------------

void TEvent::SetEvent() {
  std::lock_guard<std::mutex> lock(mutex_);
  signaled_ = true;
  if (manualReset_)
    changed_.notify_all();
  else
    changed_.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard<std::mutex> lock(mutex_);
  signaled_ = false;
}

TWaitResult TEvent::WaitFor(Cardinal timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (timeout == INFINITE)
    changed_.wait(lock, [&] { return signaled_; });
  else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeout), [&] { return signaled_; }))
    return wrTimeout;
  if (!manualReset_) signaled_ = false;
  return wrSignaled;
}

// --- TThread ------------------------------------------------------------------

TThread::TThread(bool createSuspended) : createSuspended_(createSuspended) { MainThreadID(); }

void TThread::AfterConstruction() {
  if (!createSuspended_) Start();
}

TThread::~TThread() {
  try {
    TThread::BeforeDestruction();
  } catch (...) {
    reportSwallowed("TThread");
  }
  // Freed on its own thread: nobody is left to join it.
  if (thread_.joinable()) thread_.detach();
}

void TThread::BeforeDestruction() {
  if (destructionStarted_) return;
  destructionStarted_ = true;
  if (started_ && threadId_ != GetCurrentThreadId()) {
    Terminate();
    waitUntilDone(true);
    join();
  }
  RemoveQueuedEvents(this);
}

void TThread::Start() {
  if (started_.exchange(true)) throw EThread("Cannot call Start on a running or finished thread");
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error& e) {
    started_ = false;
    throw EThread(std::string("Thread creation error: ") + e.what());
  }
  handle_ = static_cast<NativeUInt>(thread_.native_handle());
  HandOver& h = handOver();
  std::unique_lock<std::mutex> lock(h.mutex);
  h.changed.wait(lock, [&] { return threadId_ != 0; });
  // Last touch of the object: once released, a self-freeing thread may end
  // and free it before this function returns.
  launched_ = true;
  h.changed.notify_all();
}

void TThread::run() {
  HandOver& h = handOver();
  {
    std::unique_lock<std::mutex> lock(h.mutex);
    threadId_ = GetCurrentThreadId();
    h.changed.notify_all();
    // Start must have stored the thread object before this one may free itself.
    h.changed.wait(lock, [&] { return launched_; });
  }
  try {
    if (!terminated_) Execute();
  } catch (...) {
    fatalException_ = std::current_exception();
  }
  const bool freeItself = freeOnTerminate_;
  finished_ = true;
  try {
    DoTerminate();
  } catch (...) {
    reportSwallowed("OnTerminate");
  }
  if (freeItself) {
    FreeObject(this);
    return;
  }
  std::lock_guard<std::mutex> lock(h.mutex);
  done_ = true;
  h.changed.notify_all();
  // Nothing of this object may be touched from here on: the waiter may free it.
}

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

void TThread::Terminate() {
  terminated_ = true;
  TerminatedSet();
}

Integer TThread::WaitFor() {
  if (!started_) throw EThread("Cannot wait for a thread that was never started");
  if (threadId_ == GetCurrentThreadId()) throw EThread("A thread cannot wait for itself");
  if (std::find(runningCallsOf.begin(), runningCallsOf.end(), this) != runningCallsOf.end())
    throw EThread("A thread cannot be waited for inside its own Synchronize call");
  waitUntilDone(false);
  join();
  return returnValue_;
}

void TThread::waitUntilDone(bool keepWaitingOnErrors) {
  HandOver& h = handOver();
  std::unique_lock<std::mutex> lock(h.mutex);
  if (!IsMainThread()) {
    h.changed.wait(lock, [&] { return done_; });
    return;
  }
  // The main thread keeps serving the calls the thread may be blocked on.
  while (!done_) {
    if (h.pending.empty()) {
      h.changed.wait(lock);
      continue;
    }
    lock.unlock();
    try {
      CheckSynchronize(0);
    } catch (...) {
      if (!keepWaitingOnErrors) throw;
      reportSwallowed("Queued call");
    }
    lock.lock();
  }
}

void TThread::join() {
  std::lock_guard<std::mutex> lock(joinMutex_);
  if (thread_.joinable()) thread_.join();
}

std::exception_ptr TThread::FatalException() const {
  // Written before finished_ is set, never after.
  return finished_ ? fatalException_ : nullptr;
}

void TThread::Synchronize(TThread* thread, std::function<void()> method) {
  if (!method) return;
  if (IsMainThread()) {
    method();
    return;
  }
  auto call = std::make_shared<SyncCall>(thread, std::move(method), false);
  HandOver& h = handOver();
  {
    std::lock_guard<std::mutex> lock(h.mutex);
    h.pending.push_back(call);
    h.changed.notify_all();
  }
  wakeMainThread();
  {
    std::unique_lock<std::mutex> lock(h.mutex);
    h.changed.wait(lock, [&] { return call->done; });
  }
  if (call->error) std::rethrow_exception(call->error);
}

void TThread::Queue(TThread* thread, std::function<void()> method) {
  if (!method) return;
  if (IsMainThread()) {
    method();
    return;
  }
  HandOver& h = handOver();
  {
    std::lock_guard<std::mutex> lock(h.mutex);
    h.pending.push_back(std::make_shared<SyncCall>(thread, std::move(method), true));
    h.changed.notify_all();
  }
  wakeMainThread();
}

void TThread::RemoveQueuedEvents(TThread* thread) {
  std::deque<std::shared_ptr<SyncCall>> dropped;  // destroyed outside the lock
  HandOver& h = handOver();
  std::lock_guard<std::mutex> lock(h.mutex);
  for (auto it = h.pending.begin(); it != h.pending.end();) {
    if ((*it)->queued && (*it)->thread == thread) {
      dropped.push_back(std::move(*it));
      it = h.pending.erase(it);
    } else {
      ++it;
    }
  }
}

void TThread::Sleep(Cardinal milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

}  // namespace px
