#include "device/UnitHID.h"

#include "platform/core/Debug.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Guid.h"
#include "platform/gui/DeviceChangeMonitor.h"

namespace px {

THIDDevices* HIDDevices = nullptr;

THIDDevice::THIDDevice(const THidNode& node) : TNameItem(node.Path), DevNode(node.DevNode) {
  THidDeviceDetails d = ReadHidDeviceDetails(node);
  if (d.HasAttributes) {
    VendorID = d.VendorId;
    ProductID = d.ProductId;
    VersionNumber = d.VersionNumber;
  }
  Manufacturer = d.Manufacturer;
  Product = d.Product;
  SerialNumber = d.SerialNumber;
  PreparsedData = std::move(d.ReportDescriptor);
  for (const THidRegistryProperty& p : d.Properties)
    if (p.Code < Properties.size()) Properties[p.Code] = HIDPropertyToString(p.Code, p.DataType, p.Data);
}

std::string HIDPropertyToString(Cardinal code, Cardinal dataType, const TBytes& data) {
  switch (dataType) {
    case REG_SZ: {
      std::string s(data.begin(), data.end());
      size_t zero = s.find('\0');
      if (zero != std::string::npos) s.resize(zero);
      return s;
    }
    case REG_DWORD: {
      if (data.size() != 4) return {};
      Cardinal v = Cardinal(data[0]) | Cardinal(data[1]) << 8 | Cardinal(data[2]) << 16 | Cardinal(data[3]) << 24;
      return std::to_string(v);
    }
    case REG_MULTI_SZ: {
      // Strings each end with a zero; an empty string (or the end of the
      // data) ends the list.
      std::string out;
      size_t pos = 0;
      while (pos < data.size()) {
        size_t end = pos;
        while (end < data.size() && data[end] != 0) ++end;
        if (end == pos) break;
        out.append(reinterpret_cast<const char*>(data.data()) + pos, end - pos);
        out += "\r\n";
        pos = end + 1;
      }
      return out;
    }
    case REG_BINARY:
      if (code == SPDRP_BUSTYPEGUID && data.size() == 16) return TGUID::FromBytes(data.data()).ToString();
      return {};
    default:
      return {};
  }
}

THIDDevices::THIDDevices(std::string sysfsRoot, std::string devRoot, bool watchHotPlug)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {
  window_ = std::make_unique<TDeviceChangeWindow>([this] { Refresh(); }, watchHotPlug ? "hidraw" : "", "HID");
}

THIDDevices::~THIDDevices() {
  window_.reset();
  devices_.Clear();
}

HWND THIDDevices::WindowHandle() const { return window_->Handle(); }

bool THIDDevices::WatchingHotPlug() const { return window_->WatchingHotPlug(); }

void THIDDevices::Subscribe(THIDDeviceEvent callback) {
  Assert(callback.Assigned(), "THIDDevices.Subscribe: callback not assigned");
  subscribers_.push_back(callback);
}

void THIDDevices::Unsubscribe(THIDDeviceEvent callback) {
  Assert(callback.Assigned(), "THIDDevices.Unsubscribe: callback not assigned");
  for (size_t i = 0; i < subscribers_.size(); ++i) {
    if (subscribers_[i] == callback) {
      subscribers_[i] = subscribers_.back();
      subscribers_.pop_back();
      return;
    }
  }
}

template <class F>
void THIDDevices::runRefreshing(F first) {
  refreshing_ = true;
  struct Guard {
    THIDDevices* self;
    ~Guard() {
      self->refreshing_ = false;
      self->refreshPending_ = false;
    }
  } guard{this};
  refreshPending_ = false;
  first();
  while (refreshPending_) {
    refreshPending_ = false;
    refreshOnce();
  }
}

void THIDDevices::NotifyPresent() {
  if (refreshing_) {
    NotifyStates({hdsPresent});
    return;
  }
  // The replay walks the list while subscribers run, and they may run a
  // modal loop that dispatches a device change: that refresh would free the
  // devices under the walk, so it waits until the replay ends, as during an
  // enumeration.
  runRefreshing([this] { NotifyStates({hdsPresent}); });
}

void THIDDevices::NotifyStates(THIDDeviceStates states) {
  for (TBaseItem* item = devices_.Head(); item; item = item->Next()) {
    auto* device = static_cast<THIDDevice*>(item);
    if (!states.Contains(device->State)) continue;
    const std::vector<THIDDeviceEvent> callbacks = subscribers_;
    for (const THIDDeviceEvent& callback : callbacks) callback(this, device);
  }
}

void THIDDevices::Refresh() {
  if (refreshing_) {
    // A change reported while subscribers run: the scale leaves right after a
    // read-out and comes back, and that notice would be lost if dropped.
    refreshPending_ = true;
    return;
  }
  runRefreshing([this] { refreshOnce(); });
}

void THIDDevices::refreshOnce() {
  // Raises before any state changes when the class cannot be listed.
  std::vector<THidNode> nodes = ListHidNodes(sysfsRoot_, devRoot_);
  for (TBaseItem* item = devices_.Head(); item; item = item->Next()) static_cast<THIDDevice*>(item)->State = hdsGone;
  for (const THidNode& node : nodes) {
    if (THIDDevice* known = Find(node.Path)) {
      known->State = hdsPresent;
      continue;
    }
    THIDDevice* device = devices_.Add(std::make_unique<THIDDevice>(node));
    device->State = hdsNew;
  }
  // Settle the states however the subscribers leave: gone devices go and
  // every remaining device is present.
  struct Settle {
    TNameList& devices;
    ~Settle() {
      TBaseItem* item = devices.Head();
      while (item) {
        TBaseItem* next = item->Next();
        auto* device = static_cast<THIDDevice*>(item);
        if (device->State == hdsGone) devices.FreeItem(device);
        else device->State = hdsPresent;
        item = next;
      }
    }
  } settle{devices_};
  NotifyStates({hdsGone, hdsNew});
}

void InitializeHIDDevices(const std::string& sysfsRoot, const std::string& devRoot, bool watchHotPlug) {
  if (!HIDDevices) HIDDevices = new THIDDevices(sysfsRoot, devRoot, watchHotPlug);
}

void FinalizeHIDDevices() {
  delete HIDDevices;
  HIDDevices = nullptr;
}

}  // namespace px
