#include "device/UnitVantorel9183.h"

#include <filesystem>

#include "platform/core/Debug.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/StringList.h"
#include "platform/core/StringUtils.h"
#include "platform/gui/DeviceChangeMonitor.h"
#include "platform/gui/Forms.h"

namespace px {

namespace {

constexpr const char* kLineEnd = "\r\n";

std::string headOf(const std::string& line) {
  std::string head = line.substr(0, 4);
  for (char& c : head)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return head;
}

std::vector<std::string> splitFields(const std::string& line) {
  TStringList list;
  list.SetDelimitedText(line);  // comma delimiter, double-quote quoting, blanks also delimit
  std::vector<std::string> fields;
  for (Integer i = 0; i < list.Count(); ++i) fields.push_back(list[i]);
  return fields;
}

std::string joined(const std::vector<std::string>& fields) {
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) out += ',';
    out += fields[i];
  }
  return out;
}

}  // namespace

TVantorel9183PrinterCapture::TVantorel9183PrinterCapture() : serial_(MakeObject<TSerial>(nullptr)) {
  serial_->SetBaudRate(9600);
  serial_->SetByteSize(8);
  serial_->SetParity(spNone);
  serial_->SetStopBits(ssOne);
  serial_->OnDataRecieved = [this](TObject*) { processLines(); };
  // The port is chosen when the message loop first runs, and again each
  // time a serial port comes or goes.
  window_ = std::make_unique<TDeviceChangeWindow>([this] { choosePort(); }, "tty", "Serial");
  portWatch_ = MakeObject<TTimer>(nullptr);
  portWatch_->SetEnabled(false);
  portWatch_->SetInterval(PortWatchInterval);
  portWatch_->OnTimer = [this](TObject*) { watchPort(); };
}

TVantorel9183PrinterCapture::~TVantorel9183PrinterCapture() {
  portWatch_.reset();
  window_.reset();
  serial_.reset();
}

HWND TVantorel9183PrinterCapture::WindowHandle() const { return window_->Handle(); }

bool TVantorel9183PrinterCapture::WatchingHotPlug() const { return window_->WatchingHotPlug(); }

void TVantorel9183PrinterCapture::DebugMessage(const std::string& Text) { OutputDebugString(Text); }

void TVantorel9183PrinterCapture::DoResult() {
  if (OnResult) OnResult(this);
}

void TVantorel9183PrinterCapture::DoError() {
  if (OnError) OnError(this);
}

void TVantorel9183PrinterCapture::choosePort() {
  // Called from a handler's message loop (the error box) while lines are
  // taken: the port must not close under them. Looked at again shortly.
  if (processing_) {
    lookAgain_ = true;
    portWatch_->SetEnabled(true);
    return;
  }
  lookAgain_ = false;
  TStringList ports;
  if (!DevicePath.empty()) {
    std::error_code ec;
    if (std::filesystem::exists(DevicePath, ec)) ports.Add(DevicePath + "=" + DevicePath);
  } else {
    EnumerateComPorts(ports, AdapterManufacturer, AdapterDriver, SysfsRoot, DevRoot);
  }
  auto tryOpen = [this] {
    // A fresh connection starts at a line start: what was left of a line
    // from the last one (text, or the rest of an overlong line still to be
    // dropped) must not swallow the first line of this one. It starts at a
    // receipt's start too: a receipt cut off when the line hung up can never
    // end, and the next one printed must not be read as its rest.
    pendingText_.clear();
    skippingLine_ = false;
    state_ = 0;
    try {
      serial_->Open();
    } catch (const std::exception& e) {
      // Ignored: the next device change tries again.
      OutputDebugString("TVantorel9183PrinterCapture: cannot open " + serial_->GetCOMPort() + ": " + e.what());
    }
  };
  // A port whose reader ended (the line hung up) is opened afresh, once the
  // lines that came before the hang-up are taken.
  if (serial_->GetActive() && !serial_->ReaderRunning()) {
    processLines();
    serial_->Close();
  }
  // A named port is watched from its first look on: it may go and come back
  // unannounced.
  if (!DevicePath.empty()) portWatch_->SetEnabled(true);

  bool listed = false;
  for (Integer i = 0; i < ports.Count(); ++i)
    if (ports.Names(i) == serial_->GetCOMPort()) listed = true;
  if (listed) {
    if (!serial_->GetActive()) tryOpen();
    return;
  }
  if (serial_->GetActive()) serial_->Close();
  if (ports.Count() > 0) {
    serial_->SetCOMPort(ports.Names(0));
    tryOpen();
  }
}

void TVantorel9183PrinterCapture::watchPort() {
  if (processing_) return;
  if (lookAgain_ || (!DevicePath.empty() && !(serial_->GetActive() && serial_->ReaderRunning()))) choosePort();
  if (DevicePath.empty() && !lookAgain_) portWatch_->SetEnabled(false);
}

void TVantorel9183PrinterCapture::FeedText(const std::string& Text) {
  // Appended rather than replaced: text fed from within a handler must not
  // drop what is still pending.
  pendingText_ += Text;
  processLines();
}

bool TVantorel9183PrinterCapture::nextLine(std::string& line, bool& overlong) {
  overlong = false;
  if (!pendingText_.empty()) {
    size_t end = pendingText_.find(kLineEnd);
    if (end == std::string::npos) {
      line = std::move(pendingText_);
      pendingText_.clear();
    } else {
      line = pendingText_.substr(0, end);
      pendingText_.erase(0, end + 2);
    }
  } else {
    for (;;) {
      if (!serial_->GetActive()) return false;
      if (serial_->Receive(kLineEnd, 0, line)) {
        if (skippingLine_) {  // the rest of a line already reported as too long
          skippingLine_ = false;
          continue;
        }
        break;
      }
      if (serial_->Available() < static_cast<Integer>(MaxLineLength)) return false;
      // No line end within the longest line we keep: make room.
      line = serial_->Take(static_cast<Integer>(MaxLineLength));
      if (skippingLine_) continue;
      skippingLine_ = true;
      overlong = true;
      return true;
    }
  }
  if (line.size() > MaxLineLength) {
    line.resize(MaxLineLength);
    overlong = true;
  }
  return true;
}

void TVantorel9183PrinterCapture::processLines() {
  // A handler that runs the message loop (the error message box) may bring
  // the next data notification while we are in here: the running loop takes
  // those lines in order.
  if (processing_) return;
  processing_ = true;
  try {
    std::string line;
    bool overlong;
    while (nextLine(line, overlong)) processLine(line, overlong);
  } catch (...) {
    processing_ = false;
    throw;
  }
  processing_ = false;
}

void TVantorel9183PrinterCapture::reportError(const std::string& text) {
  DebugMessage(text);
  // One error per receipt: a wrong line also spoils the totals that follow,
  // and the user is to hear once that the receipt could not be read.
  const bool first = valid_;
  valid_ = false;
  if (first) DoError();
}

void TVantorel9183PrinterCapture::processLine(const std::string& raw, bool overlong) {
  DebugMessage(raw);
  std::string line = Trim(raw);
  std::string head = headOf(line);
  switch (state_) {
    case 0:
      if (!overlong && head == "DENO") state_ = 1;
      break;
    case 1:
      if (!overlong && head == "----") {
        state_ = 2;
        DebugMessage(">>START");
        receipt_ = CreateMemDataSet();
        receipt_->AddField(mftAnsiString, "Denomination", 0);
        receipt_->AddField(mftInteger, "Value/piece", 0);
        receipt_->AddField(mftInteger, "Count", 0);
        receipt_->AddField(mftInteger, "Value", 0);
        countSum_ = 0;
        valueSum_ = 0;
        valid_ = true;
      }
      break;
    case 2: {
      if (!overlong && head == "----") {
        state_ = 3;
        break;
      }
      if (overlong) {
        reportError(">>ERROR!");
        break;
      }
      std::string widened = StringReplace(line, "EURO", "EURO ", rfReplaceAll | rfIgnoreCase);
      std::vector<std::string> fields = splitFields(widened);
      DebugMessage(">>DENOM " + joined(fields));
      Integer perPiece, count, value;
      if (fields.size() == 4 && TryStrToInt(fields[1], perPiece) && TryStrToInt(fields[2], count) &&
          TryStrToInt(fields[3], value)) {
        // In 64 bits: a garbled line must not wrap into a plausible value.
        Int64 product = static_cast<Int64>(perPiece) * count;
        if (product < INT32_MIN || product > INT32_MAX) {
          reportError(">>ERROR!");
          break;
        }
        TMemRecord* row = receipt_->AddRecord();
        row->SetAnsiString(0, fields[0]);
        row->SetInteger(1, perPiece);
        row->SetInteger(2, count);
        row->SetInteger(3, static_cast<Integer>(product));
        if (value == product) {
          countSum_ += count;
          valueSum_ += product;
        } else {
          reportError(">>SUM ERROR!");
        }
      } else {
        reportError(">>ERROR!");
      }
      break;
    }
    case 3: {
      if (!overlong && head == "----") {
        state_ = 0;
        break;
      }
      state_ = 0;
      std::vector<std::string> fields = overlong ? std::vector<std::string>{} : splitFields(line);
      if (!overlong) DebugMessage(">>SUM " + joined(fields));
      Integer count, value;
      if (fields.size() == 2 && TryStrToInt(fields[0], count) && TryStrToInt(fields[1], value)) {
        if (count == countSum_ && value == valueSum_) {
          if (valid_) {
            TMemRecord* row = receipt_->AddRecord();
            row->SetAnsiString(0, "<SUM>");
            row->SetInteger(2, count);
            row->SetInteger(3, value);
            DoResult();
          }
        } else {
          reportError(">>SUM ERROR!");
        }
      } else {
        reportError(">>ERROR!");
      }
      DebugMessage(">>FINISH");
      break;
    }
  }
}

}  // namespace px
