#include "platform/core/Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace px {
namespace {

// A thread whose body is given by the test.
class TTestThread : public TThread {
 public:
  using Body = std::function<void(TTestThread&)>;
  explicit TTestThread(Body body, bool createSuspended = false)
      : TThread(createSuspended), body_(std::move(body)) {}
  using TThread::Queue;
  using TThread::SetReturnValue;
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  Body body_;
};

// Every test leaves no hook and no waiting call behind.
class ThreadTest : public testing::Test {
 protected:
  void TearDown() override {
    SetWakeMainThread(nullptr);
    while (CheckSynchronize(0)) {
    }
  }
};

TEST_F(ThreadTest, SynchronizeRunsOnTheMainThreadWhileItJoins) {
  ASSERT_TRUE(IsMainThread());
  std::atomic<TThreadID> ranOn{0};
  auto thread = MakeObject<TTestThread>([&](TTestThread& self) {
    for (int i = 0; i < 3; ++i) self.Synchronize([&] { ranOn = GetCurrentThreadId(); });
    self.SetReturnValue(7);
  });
  // No wake-up hook: only the join serves the calls.
  EXPECT_EQ(thread->WaitFor(), 7);
  EXPECT_EQ(ranOn.load(), MainThreadID());
  EXPECT_NE(thread->ThreadID(), MainThreadID());
  EXPECT_TRUE(thread->Finished());
  EXPECT_EQ(thread->FatalException(), nullptr);
}

TEST_F(ThreadTest, QueuedAndSynchronizedCallsRunInOrder) {
  std::vector<int> order;
  std::atomic<int> wakes{0};
  SetWakeMainThread([&] { ++wakes; });
  auto thread = MakeObject<TTestThread>([&](TTestThread& self) {
    for (int i = 0; i < 50; ++i) self.Queue([&order, i] { order.push_back(i); });
    self.Synchronize([&] { order.push_back(50); });
    self.Queue([&] { order.push_back(51); });
  });
  thread->WaitFor();
  CheckSynchronize(0);  // the last call may come after the join has ended
  std::vector<int> expected;
  for (int i = 0; i <= 51; ++i) expected.push_back(i);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(wakes.load(), 52);

  // On the main thread both run at once.
  order.clear();
  TThread::Queue(nullptr, [&] { order.push_back(1); });
  TThread::Synchronize(nullptr, [&] { order.push_back(2); });
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST_F(ThreadTest, ExceptionsOfSynchronizedCallsAndOfExecute) {
  std::string caught;
  auto thread = MakeObject<TTestThread>([&](TTestThread& self) {
    try {
      self.Synchronize([] { throw EConvertError("'x' is not a valid integer value"); });
    } catch (const EConvertError& e) {
      caught = e.Message();
    }
    throw EStreamError("Stream read error");
  });
  thread->WaitFor();  // the failure of Execute is not raised here
  EXPECT_EQ(caught, "'x' is not a valid integer value");
  ASSERT_NE(thread->FatalException(), nullptr);
  EXPECT_THROW(std::rethrow_exception(thread->FatalException()), EStreamError);

  // Waiting for a thread inside its own Synchronize call could never end.
  auto selfWaiting = MakeObject<TTestThread>([&](TTestThread& self) {
    try {
      self.Synchronize([&] { self.WaitFor(); });
    } catch (const EThread& e) {
      caught = e.Message();
    }
  });
  selfWaiting->WaitFor();
  EXPECT_EQ(caught, "A thread cannot be waited for inside its own Synchronize call");
}

TEST_F(ThreadTest, CheckSynchronizeOnlyOnTheMainThread) {
  std::string message;
  std::thread([&] {
    try {
      CheckSynchronize(0);
    } catch (const EThread& e) {
      message = e.Message();
    }
  }).join();
  EXPECT_NE(message.find("which is NOT the main thread"), std::string::npos) << message;
}

// A worker with state of its own that Execute keeps using until terminated.
class TPollingThread : public TThread {
 public:
  TPollingThread() : TThread(false) {}
  std::atomic<int> rounds{0};

 protected:
  void TerminatedSet() override { wake_.SetEvent(); }
  void Execute() override {
    while (!Terminated()) {
      Synchronize([this] { history_.push_back(rounds); });
      ++rounds;
      wake_.WaitFor(1);
    }
  }

 private:
  std::vector<int> history_;
  TSimpleEvent wake_;
};

TEST_F(ThreadTest, FreeingARunningThreadStopsAndJoinsIt) {
  auto thread = MakeObject<TPollingThread>();
  while (thread->rounds < 3) CheckSynchronize(10);
  thread.reset();  // terminates, serves its Synchronize calls and joins

  // A thread blocked on an event ends through TerminatedSet.
  struct TBlocked : TThread {
    TSimpleEvent event;
    void TerminatedSet() override { event.SetEvent(); }
    void Execute() override { event.WaitFor(); }
  };
  auto blocked = MakeObject<TBlocked>();
  blocked.reset();

  // Never started: nothing to wait for, but WaitFor is refused.
  auto idle = MakeObject<TTestThread>([](TTestThread&) {}, true);
  EXPECT_THROW(idle->WaitFor(), EThread);
  idle->Start();
  EXPECT_THROW(idle->Start(), EThread);
}

TEST_F(ThreadTest, ACallThatFreesAnotherBlockedThreadDoesNotDeadlock) {
  // Thread b is blocked in Synchronize behind a's call, and a's call frees b:
  // the join inside that call must still run b's waiting call.
  std::atomic<int> handed{0};
  SetWakeMainThread([&] { ++handed; });
  std::vector<std::string> log;
  TObjectPtr<TTestThread> b;
  auto a = MakeObject<TTestThread>([&](TTestThread& self) {
    self.Synchronize([&] {
      log.push_back("a frees b");
      b.reset();
      log.push_back("b freed");
    });
  });
  while (handed < 1) TThread::Sleep(1);
  b = MakeObject<TTestThread>([&](TTestThread& self) { self.Synchronize([&] { log.push_back("b"); }); });
  while (handed < 2) TThread::Sleep(1);
  a->WaitFor();
  EXPECT_EQ(log, (std::vector<std::string>{"a frees b", "b", "b freed"}));
}

TEST_F(ThreadTest, OnTerminateRunsOnTheMainThreadAndFreeOnTerminate) {
  std::atomic<bool> freed{false};
  struct TSelfFreeing : TThread {
    explicit TSelfFreeing(std::atomic<bool>* flag) : TThread(true), freed(flag) {}
    ~TSelfFreeing() override { *freed = true; }
    void Execute() override { SetReturnValue(1); }
    std::atomic<bool>* freed;
  };
  auto owned = MakeObject<TSelfFreeing>(&freed);
  TThreadID terminatedOn = 0;
  Integer returnValue = -1;
  owned->OnTerminate = [&](TObject* sender) {
    terminatedOn = GetCurrentThreadId();
    returnValue = static_cast<TThread*>(sender)->ReturnValue();
  };
  owned->SetFreeOnTerminate(true);
  TSelfFreeing* thread = owned.release();
  thread->Start();
  while (!freed) CheckSynchronize(10);
  EXPECT_EQ(terminatedOn, MainThreadID());
  EXPECT_EQ(returnValue, 1);
}

// A self-freeing thread with nothing to do may be gone before Start returns;
// Start must not touch the object after letting it run.
TEST_F(ThreadTest, StartDoesNotTouchASelfFreeingThreadThatHasEnded) {
  std::atomic<int> freed{0};
  struct TQuick : TThread {
    explicit TQuick(std::atomic<int>* count) : TThread(true), freed(count) {}
    ~TQuick() override { ++*freed; }
    void Execute() override {}
    std::atomic<int>* freed;
  };
  constexpr int kThreads = 200;
  for (int i = 0; i < kThreads; ++i) {
    auto thread = MakeObject<TQuick>(&freed);
    thread->SetFreeOnTerminate(true);
    thread.release()->Start();
  }
  while (freed < kThreads) TThread::Sleep(1);
}

TEST_F(ThreadTest, QueuedCallsOfAFreedThreadAreDropped) {
  std::vector<std::string> ran;
  auto keeper = MakeObject<TTestThread>([&](TTestThread& self) { self.Queue([&] { ran.push_back("keeper"); }); });
  auto gone = MakeObject<TTestThread>([&](TTestThread& self) { self.Queue([&] { ran.push_back("gone"); }); });
  // Joined from another thread, which does not serve the calls.
  std::thread([&] {
    keeper->WaitFor();
    gone->WaitFor();
  }).join();
  gone.reset();
  EXPECT_TRUE(CheckSynchronize(0));
  EXPECT_EQ(ran, (std::vector<std::string>{"keeper"}));
}

TEST_F(ThreadTest, CheckSynchronizeWaitsForTheFirstCall) {
  EXPECT_FALSE(CheckSynchronize(20));  // nothing comes
  bool ran = false;
  auto thread = MakeObject<TTestThread>([&](TTestThread& self) {
    TThread::Sleep(20);
    self.Queue([&] { ran = true; });
  });
  while (!ran) CheckSynchronize(1000);
  thread->WaitFor();
}

TEST(Event, WaitResultsForManualAndAutoReset) {
  TEvent autoReset(false, true);
  EXPECT_EQ(autoReset.WaitFor(0), wrSignaled);
  EXPECT_EQ(autoReset.WaitFor(0), wrTimeout);
  EXPECT_EQ(autoReset.WaitFor(30), wrTimeout);

  TSimpleEvent manual;
  EXPECT_EQ(manual.WaitFor(10), wrTimeout);
  manual.SetEvent();
  EXPECT_EQ(manual.WaitFor(0), wrSignaled);
  EXPECT_EQ(manual.WaitFor(0), wrSignaled);
  manual.ResetEvent();
  EXPECT_EQ(manual.WaitFor(0), wrTimeout);

  // Set from another thread wakes a wait without time-out.
  std::thread setter([&] {
    TThread::Sleep(10);
    autoReset.SetEvent();
  });
  EXPECT_EQ(autoReset.WaitFor(INFINITE), wrSignaled);
  setter.join();
}

TEST(CriticalSection, RecursiveForItsOwnerOnly) {
  TCriticalSection lock;
  lock.Enter();
  EXPECT_TRUE(lock.TryEnter());
  bool otherGotIt = true;
  std::thread([&] { otherGotIt = lock.TryEnter(); }).join();
  EXPECT_FALSE(otherGotIt);
  lock.Leave();
  lock.Leave();
  std::thread([&] {
    otherGotIt = lock.TryEnter();
    if (otherGotIt) lock.Leave();
  }).join();
  EXPECT_TRUE(otherGotIt);

  TThreadList<int> list;
  list.Add(1);
  list.Add(1);
  list.Add(2);
  EXPECT_EQ(list.LockList().Count(), 2);
  list.UnlockList();
}

}  // namespace
}  // namespace px
