#include "dbclient/dbcEvents.h"

#include <algorithm>
#include <cstring>

#include "dbclient/dbc.h"
#include "platform/core/Debug.h"

namespace px {

// ---------------------------------------------------------------------------
// TDBCEventAlerter

TDBCEventAlerter::TDBCEventAlerter(TComponent* AOwner) : TComponent(AOwner), eventNames_(MakeObject<TStringList>()) {}

TDBCEventAlerter::~TDBCEventAlerter() {
  try {
    SetDatabase(nullptr);
  } catch (...) {
    OutputDebugString("TDBCEventAlerter: failure while unbinding");
  }
  try {
    SetRegistered(false);
  } catch (...) {
  }
  threads_.clear();
  owned_.clear();
}

void TDBCEventAlerter::SetDatabase(TDBCDataBase* Value) {
  if (Value == database_) return;
  if (ComponentState().Contains(csDesigning)) {
    database_ = Value;
    return;
  }
  bool wasRegistered = registered_;
  if (wasRegistered) SetRegistered(false);
  if (database_) database_->RemoveEventAlerter(this);
  database_ = Value;
  if (Value) Value->AddEventAlerter(this);
  if (wasRegistered && Value) SetRegistered(true);
}

void TDBCEventAlerter::SetRegistered(bool Value) {
  if (Value == registered_) return;
  registered_ = Value;
  if (ComponentState().Contains(csDesigning)) return;
  if (Value) {
    if (!database_) return;
    database_->SetConnected(true);
    if (!threads_.empty() || eventNames_->Count() == 0) return;
    Integer blocks = (eventNames_->Count() - 1) / EventNamesPerBlock + 1;
    for (Integer b = 0; b < blocks; ++b) {
      owned_.push_back(MakeObject<TDBCEventThread>(this, SyncMainThread, b));
      threads_.push_back(owned_.back().get());
    }
    return;
  }
  // Last first; freeing a thread ends it and waits for it (running the calls
  // it hands to this thread meanwhile).
  while (!threads_.empty()) {
    TDBCEventThread* t = threads_.back();
    threads_.pop_back();
    auto it = std::find_if(owned_.begin(), owned_.end(), [&](const auto& p) { return p.get() == t; });
    if (it != owned_.end()) {
      TObjectPtr<TDBCEventThread> dying = std::move(*it);
      owned_.erase(it);
      dying.reset();
    }
  }
  freeEndedThreads();
}

void TDBCEventAlerter::freeEndedThreads() {
  for (auto it = owned_.begin(); it != owned_.end();) {
    if (it->get() != terminating_ && std::find(threads_.begin(), threads_.end(), it->get()) == threads_.end() &&
        (*it)->Finished()) {
      TObjectPtr<TDBCEventThread> dying = std::move(*it);
      it = owned_.erase(it);
      dying.reset();
    } else {
      ++it;
    }
  }
}

void TDBCEventAlerter::threadTerminated(TDBCEventThread* Thread) {
  auto it = std::find(threads_.begin(), threads_.end(), Thread);
  if (it != threads_.end()) threads_.erase(it);
  if (Thread->ReturnValue() == 1) {
    terminating_ = Thread;
    try {
      if (registered_) SetRegistered(false);
    } catch (...) {
      terminating_ = nullptr;
      throw;
    }
    terminating_ = nullptr;
    std::lock_guard<std::mutex> guard(errorLock_);
    ErrorReported = false;
  }
}

// ---------------------------------------------------------------------------
// TDBCEventThread

TDBCEventThread::TDBCEventThread(TDBCEventAlerter* Owner, bool SyncMainThread, Integer Block)
    : TThread(false), owner_(Owner), syncMainThread_(SyncMainThread), block_(Block) {
  TDBCDataBase* db = Owner->Database();
  dbHandle_ = db->DbHandle;
  library_.BindClientLibrary(db->LibraryName());
  Integer count = Owner->EventNames().Count() - Block * EventNamesPerBlock;
  count = std::clamp<Integer>(count, 0, EventNamesPerBlock);
  for (Integer i = 0; i < count; ++i) names_.push_back(Owner->EventNames().Get(Block * EventNamesPerBlock + i));
  OnTerminate = [this](TObject*) { owner_->threadTerminated(this); };
}

TDBCEventThread::~TDBCEventThread() {
  // Freed through FreeObject the thread has already ended; a thread held
  // otherwise is ended here.
  if (Started() && !Finished()) {
    Terminate();
    try {
      WaitFor();
    } catch (...) {
    }
  }
}

void TDBCEventThread::EventCallback(void* Thread, ISC_USHORT Length, const ISC_UCHAR* Updated) {
  auto* self = static_cast<TDBCEventThread*>(Thread);
  if (!self || !Updated || Length == 0 || !self->resultBuffer_) return;
  // The library reports its own length; never write past our buffer.
  size_t n = std::min<size_t>(Length, self->eventBufferLength_);
  std::memcpy(self->resultBuffer_, Updated, n);
  self->signaled_ = true;
  self->signal_.SetEvent();
}

void TDBCEventThread::call(const std::function<void()>& Method) {
  if (syncMainThread_) Synchronize(Method);
  else Method();
}

void TDBCEventThread::callClient(const std::function<void()>& Method) {
  // The handler runs where the call ran, so that with SyncMainThread the
  // owner is only ever called on the main thread.
  call([this, &Method] {
    try {
      Method();
    } catch (const Exception& e) {
      if (!owner_->OnException) throw;
      owner_->OnException(e);
    }
  });
}

void TDBCEventThread::queueEvents() {
  callClient([this] {
    library_.QueueEventWait(dbHandle_, eventId_, eventBufferLength_, eventBuffer_, &TDBCEventThread::EventCallback,
                            this);
  });
}

void TDBCEventThread::cancelEvents() {
  callClient([this] { library_.CancelEventWait(dbHandle_, eventId_); });
}

bool TDBCEventThread::handleException() {
  {
    std::lock_guard<std::mutex> guard(owner_->errorLock_);
    if (owner_->ErrorReported) return false;
    owner_->ErrorReported = true;
  }
  std::exception_ptr error = std::current_exception();
  auto show = [error] {
    try {
      std::rethrow_exception(error);
    } catch (const EAbort&) {
    } catch (const Exception& e) {
      OutputDebugString("Database event thread: " + e.Message());
    } catch (const std::exception& e) {
      OutputDebugString(std::string("Database event thread: ") + e.what());
    } catch (...) {
      OutputDebugString("Database event thread: unknown failure");
    }
  };
  try {
    call(show);
  } catch (...) {
  }
  return true;
}

void TDBCEventThread::Execute() {
  bool queued = false;
  try {
    std::vector<const char*> names;
    for (const std::string& n : names_) names.push_back(n.c_str());
    eventBufferLength_ = library_.BuildEventBlock(eventBuffer_, resultBuffer_, static_cast<Word>(names.size()),
                                                  names.data());
    signal_.ResetEvent();
    queueEvents();
    queued = true;
    bool first = true;
    while (!Terminated()) {
      signal_.WaitFor(INFINITE);
      if (Terminated()) break;
      if (!signaled_ && !first) continue;
      library_.CountEvents(Counts, eventBufferLength_, eventBuffer_, resultBuffer_);
      if (!first && owner_->OnEvent) {
        cancel_ = false;
        for (index_ = 0; index_ < static_cast<Integer>(names_.size()); ++index_) {
          if (Counts[index_] == 0) continue;
          Integer index = index_;
          call([this, index] {
            // A thread being destroyed no longer reports.
            if (Terminated() || !owner_->OnEvent) return;
            owner_->OnEvent(owner_, names_[static_cast<size_t>(index)], static_cast<Integer>(Counts[index]), cancel_);
          });
        }
      }
      first = false;
      signaled_ = false;
      signal_.ResetEvent();
      queueEvents();
    }
    cancelEvents();
    queued = false;
    library_.FreeClientMemory(eventBuffer_);
    library_.FreeClientMemory(resultBuffer_);
    eventBuffer_ = resultBuffer_ = nullptr;
    SetReturnValue(0);
  } catch (...) {
    if (queued) {
      library_.RaiseErrors = false;
      library_.CancelEventWait(dbHandle_, eventId_);
    }
    if (eventBuffer_) library_.FreeClientMemory(eventBuffer_);
    if (resultBuffer_) library_.FreeClientMemory(resultBuffer_);
    eventBuffer_ = resultBuffer_ = nullptr;
    SetReturnValue(handleException() ? 1 : 0);
  }
}

}  // namespace px
