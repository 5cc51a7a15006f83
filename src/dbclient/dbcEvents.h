#pragma once
// Database event notifications: an alerter bound to a database names the
// events it wants, and one thread per block of 15 names waits for the
// server's notifications and reports how often each event fired.
#include <ibase.h>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dbclient/dbclib.h"
#include "platform/core/Classes.h"
#include "platform/core/StringList.h"
#include "platform/core/Threads.h"

namespace px {

class TDBCDataBase;
class TDBCEventThread;

using TDBCEventNotify =
    std::function<void(TObject* Sender, const std::string& EventName, Integer Count, bool& Cancel)>;
using TDBCEventException = std::function<void(const Exception& E)>;

// Names per event thread: the client's event block takes at most 15.
constexpr Integer EventNamesPerBlock = 15;

class TDBCEventAlerter : public TComponent {
 public:
  explicit TDBCEventAlerter(TComponent* AOwner);
  ~TDBCEventAlerter() override;

  TDBCEventNotify OnEvent;
  TDBCEventException OnException;
  TStrings& EventNames() { return *eventNames_; }
  bool AutoRegister = true;
  bool ErrorReported = false;
  // Calls into the owner and the client run on the main thread.
  bool SyncMainThread = true;

  TDBCDataBase* Database() const { return database_; }
  void SetDatabase(TDBCDataBase* Value);
  bool Registered() const { return registered_; }
  void SetRegistered(bool Value);
  const std::vector<TDBCEventThread*>& Threads() const { return threads_; }

 private:
  friend class TDBCEventThread;
  // Runs on the main thread when a thread has ended.
  void threadTerminated(TDBCEventThread* Thread);
  void freeEndedThreads();

  TDBCDataBase* database_ = nullptr;
  TObjectPtr<TStringList> eventNames_;
  bool registered_ = false;
  std::vector<TDBCEventThread*> threads_;
  // Every thread made, running or ended; ended ones are freed at the next
  // unregistration, never from their own OnTerminate.
  std::vector<TObjectPtr<TDBCEventThread>> owned_;
  // The thread whose OnTerminate runs right now: it must not be freed there.
  TDBCEventThread* terminating_ = nullptr;
  // Threads that run without the main thread fail at the same time: the
  // check and the setting of ErrorReported must be one step.
  std::mutex errorLock_;
};

class TDBCEventThread : public TThread {
 public:
  TDBCEventThread(TDBCEventAlerter* Owner, bool SyncMainThread, Integer Block);
  ~TDBCEventThread() override;

  Integer Block() const { return block_; }
  // The last counts computed, one per name of the block.
  ISC_ULONG Counts[20] = {};
  // The client's notification: copies at most the buffer's length.
  static void EventCallback(void* Thread, ISC_USHORT Length, const ISC_UCHAR* Updated);

 protected:
  void Execute() override;
  void TerminatedSet() override { signal_.SetEvent(); }

 private:
  void queueEvents();
  void cancelEvents();
  // Runs Method on the main thread when SyncMainThread is set, else here.
  void call(const std::function<void()>& Method);
  void callClient(const std::function<void()>& Method);
  bool handleException();

  TDBCEventAlerter* owner_;
  const bool syncMainThread_;
  const Integer block_;
  Integer index_ = 0;
  ISC_LONG eventId_ = 0;
  ISC_UCHAR* eventBuffer_ = nullptr;
  ISC_UCHAR* resultBuffer_ = nullptr;
  Word eventBufferLength_ = 0;
  TSimpleEvent signal_;
  std::atomic<bool> signaled_{false};
  bool cancel_ = false;
  isc_db_handle dbHandle_ = 0;
  std::vector<std::string> names_;
  // Its own client object: the event thread must not share the status
  // vector of the database's object with the main thread.
  TDBCLibrary library_;
};

}  // namespace px
