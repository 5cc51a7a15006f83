#pragma once
// Threads, locks and events, and the hand-over of calls from worker threads
// to the main (GUI) thread.
//
// The main thread is the one that loaded the program (or the one that calls
// SetMainThread). A worker hands a call to it with TThread::Synchronize (the
// worker waits until the call has run; an exception it raises is raised again
// in the worker) or TThread::Queue (the worker goes on at once). The main
// thread runs waiting calls in CheckSynchronize. This layer knows no event
// loop: the GUI layer installs a wake-up hook (SetWakeMainThread) that makes
// its loop call CheckSynchronize soon; without a hook calls wait until the main
// thread calls CheckSynchronize itself. While the main thread waits for a
// thread in TThread::WaitFor it keeps running waiting calls, so joining a
// worker that is blocked in Synchronize never deadlocks.
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/core/Classes.h"
#include "platform/core/Lists.h"
#include "platform/core/Types.h"

namespace px {

constexpr Cardinal INFINITE = 0xFFFFFFFF;

// Kernel thread id.
using TThreadID = uint32_t;

TThreadID GetCurrentThreadId();
TThreadID MainThreadID();
bool IsMainThread();
// Makes the calling thread the main thread.
void SetMainThread();
// Called (on the handing thread) whenever a call is handed to the main thread.
void SetWakeMainThread(std::function<void()> wake);
// Runs the calls waiting for the main thread, waiting up to timeoutMs for the
// first one when none waits. Answers whether any ran. Only the main thread may
// call it (EThread otherwise). An exception from a queued call leaves
// CheckSynchronize; calls queued after it stay for the next round.
bool CheckSynchronize(Integer timeoutMs = 0);

// A lock the owning thread may take again (recursive), usable with
// std::lock_guard.
class TCriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Acquire() { Enter(); }
  void Release() { Leave(); }
  void lock() { Enter(); }
  void unlock() { Leave(); }
  bool try_lock() { return TryEnter(); }

 private:
  std::recursive_mutex mutex_;
};

enum TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError, wrIOCompletion };

// An event a thread waits on. A manual-reset event stays signalled until
// ResetEvent; an auto-reset one lets a single wait through and resets itself.
class TEvent {
 public:
  explicit TEvent(bool manualReset = true, bool initialState = false)
      : manualReset_(manualReset), signaled_(initialState) {}
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void SetEvent();
  void ResetEvent();
  // Timeout in milliseconds, INFINITE for none.
  TWaitResult WaitFor(Cardinal timeout = INFINITE);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const bool manualReset_;
  bool signaled_;
};

// A manual-reset event, not signalled at first.
class TSimpleEvent : public TEvent {
 public:
  TSimpleEvent() : TEvent(true, false) {}
};

// A list guarded by its own lock; an item is held at most once.
template <typename T>
class TThreadList {
 public:
  TList<T>& LockList() {
    lock_.Enter();
    return list_;
  }
  void UnlockList() { lock_.Leave(); }
  void Add(const T& item) {
    std::lock_guard<TCriticalSection> guard(lock_);
    if (!list_.Contains(item)) list_.Add(item);
  }
  void Remove(const T& item) {
    std::lock_guard<TCriticalSection> guard(lock_);
    list_.Remove(item);
  }
  void Clear() {
    std::lock_guard<TCriticalSection> guard(lock_);
    list_.Clear();
  }

 private:
  TCriticalSection lock_;
  TList<T> list_;
};

// A thread running Execute. Made through MakeObject, a thread not created
// suspended starts by itself once all its constructors are done
// (AfterConstruction); a suspended one, or one made another way, starts with
// Start.
// Freeing the object terminates the thread and waits for it; when freed
// through FreeObject (or a TObjectPtr) that happens before any destructor runs,
// so Execute never meets a half-destroyed object. A thread held otherwise must
// be terminated and waited for by its own destructor (or before).
class TThread : public TObject {
 public:
  explicit TThread(bool createSuspended = false);
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void AfterConstruction() override;
  void BeforeDestruction() override;

  // Raises EThread when the thread was started before.
  void Start();
  // Sets Terminated (Execute is expected to look at it) and calls TerminatedSet.
  void Terminate();
  // Waits until the thread has ended (including OnTerminate) and answers
  // ReturnValue. On the main thread waiting calls keep running meanwhile.
  // Raises EThread for a thread never started or for the thread itself.
  Integer WaitFor();

  bool Terminated() const { return terminated_; }
  bool Started() const { return started_; }
  // Execute has returned.
  bool Finished() const { return finished_; }
  bool FreeOnTerminate() const { return freeOnTerminate_; }
  // The object frees itself (on its thread) when the thread ends; nobody may
  // wait for such a thread.
  void SetFreeOnTerminate(bool value) { freeOnTerminate_ = value; }
  Integer ReturnValue() const { return returnValue_; }
  // The exception that ended Execute, if any.
  std::exception_ptr FatalException() const;
  TThreadID ThreadID() const { return threadId_; }
  NativeUInt Handle() const { return handle_; }

  // Runs on the main thread, with this thread as sender, after Execute.
  // Assign before the thread starts.
  TNotifyEvent OnTerminate;

  // From a worker, runs the method on the main thread and waits for it; an
  // exception raised by the method is raised again here. On the main thread
  // the method runs at once. The thread may be null.
  static void Synchronize(TThread* thread, std::function<void()> method);
  // From a worker, hands the method to the main thread without waiting. On the
  // main thread the method runs at once.
  static void Queue(TThread* thread, std::function<void()> method);
  // Drops the calls the thread queued that have not run yet.
  static void RemoveQueuedEvents(TThread* thread);
  static void Sleep(Cardinal milliseconds);

 protected:
  virtual void Execute() = 0;
  // Calls OnTerminate through Synchronize when it is assigned.
  virtual void DoTerminate();
  // Called by Terminate, e.g. to wake a thread waiting on an event.
  virtual void TerminatedSet() {}
  void SetReturnValue(Integer value) { returnValue_ = value; }
  void Synchronize(std::function<void()> method) { Synchronize(this, std::move(method)); }
  void Queue(std::function<void()> method) { Queue(this, std::move(method)); }

 private:
  void run();
  void waitUntilDone(bool keepWaitingOnErrors);
  void join();

  std::thread thread_;
  std::mutex joinMutex_;
  const bool createSuspended_;
  std::atomic<bool> started_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> freeOnTerminate_{false};
  std::atomic<Integer> returnValue_{0};
  std::atomic<TThreadID> threadId_{0};
  NativeUInt handle_ = 0;
  std::exception_ptr fatalException_;
  bool launched_ = false;        // guarded by the hand-over lock
  bool done_ = false;            // guarded by the hand-over lock
  bool destructionStarted_ = false;
};

}  // namespace px
