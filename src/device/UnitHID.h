#pragma once
// The list of HID interfaces on the machine, with change notification.
//
// THIDDevices keeps one THIDDevice per hidraw node and tells its subscribers
// which devices arrived and which left. It re-enumerates when its hidden
// window receives WM_DEVICECHANGE with DBT_DEVNODES_CHANGED; the udev monitor
// posts that message whenever a hidraw node comes or goes, and the list posts
// one to itself when it is made, so the first scan runs once the message loop
// starts (after the scale object has subscribed).
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "data/UnitList.h"
#include "platform/core/Sets.h"
#include "platform/core/Types.h"
#include "platform/gui/Controls.h"
#include "platform/hid/HidDeviceList.h"

namespace px {

class THIDDevices;
class TDeviceChangeWindow;

enum THIDDeviceState : Byte { hdsGone = 0, hdsPresent = 1, hdsNew = 2 };
using THIDDeviceStates = TSet<THIDDeviceState>;

// One HID interface. The item's name is the interface path (the node's
// sysfs folder, unique for each time a device is plugged in); DevNode is what
// gets opened for I/O.
class THIDDevice : public TNameItem {
 public:
  // Reads the device's ids, strings and properties once.
  explicit THIDDevice(const THidNode& node);

  const AnsiString& Path() const { return Name(); }

  THIDDeviceState State = hdsNew;
  // Indexed by device property code; only the codes this platform knows are
  // filled.
  std::array<std::string, 29> Properties;
  Word VendorID = 0;
  Word ProductID = 0;
  Word VersionNumber = 0;
  std::string Manufacturer;
  std::string Product;
  std::string SerialNumber;
  // The device's HID report descriptor, as the kernel hands it out.
  TBytes PreparsedData;
  std::string DevNode;
};

// A subscriber: a method of an object, compared by method and object as a
// method pointer of the class library is.
struct THIDDeviceEvent {
  using TCode = void (*)(void* data, THIDDevices* sender, THIDDevice* device);
  TCode Code = nullptr;
  void* Data = nullptr;

  bool Assigned() const { return Code != nullptr; }
  void operator()(THIDDevices* sender, THIDDevice* device) const { Code(Data, sender, device); }
  bool operator==(const THIDDeviceEvent& other) const = default;

  template <auto Method, class T>
  static THIDDeviceEvent Of(T* object) {
    return {[](void* data, THIDDevices* sender, THIDDevice* device) { (static_cast<T*>(data)->*Method)(sender, device); },
            object};
  }
};

class THIDDevices {
 public:
  // sysfsRoot and devRoot locate the tree to enumerate (tests lay out a fake
  // one); watchHotPlug opens the udev monitor.
  explicit THIDDevices(std::string sysfsRoot = "/sys", std::string devRoot = "/dev", bool watchHotPlug = true);
  ~THIDDevices();
  THIDDevices(const THIDDevices&) = delete;
  THIDDevices& operator=(const THIDDevices&) = delete;

  // The callback must be assigned (assertion). The same callback may be
  // added twice.
  void Subscribe(THIDDeviceEvent callback);
  // Removes one entry equal to the callback; the last entry takes its place.
  void Unsubscribe(THIDDeviceEvent callback);
  // Calls every subscriber for every device in state hdsPresent. A refresh
  // asked for meanwhile runs when the replay ends.
  void NotifyPresent();
  // For each device in list order whose state is in states, calls every
  // subscriber in order; the subscriber list is taken once per device.
  void NotifyStates(THIDDeviceStates states);
  // Re-enumerates and tells the subscribers of gone and new devices. A call
  // while one runs (from a subscriber) is remembered and runs again as soon
  // as the running one ends, so that no change of the device tree is lost.
  // Raises EOSError when the device class cannot be listed.
  void Refresh();

  TNameList& Devices() { return devices_; }
  THIDDevice* Find(std::string_view path) const { return static_cast<THIDDevice*>(devices_.Find(path)); }
  HWND WindowHandle() const;
  bool Refreshing() const { return refreshing_; }
  // Whether the udev monitor runs.
  bool WatchingHotPlug() const;
  Integer SubscriberCount() const { return static_cast<Integer>(subscribers_.size()); }

 private:
  void refreshOnce();
  // Runs `first` with the list marked as refreshing, then the refreshes that
  // were asked for meanwhile, until none is left.
  template <class F>
  void runRefreshing(F first);

  std::string sysfsRoot_;
  std::string devRoot_;
  TNameList devices_;
  bool refreshing_ = false;
  bool refreshPending_ = false;
  std::vector<THIDDeviceEvent> subscribers_;
  std::unique_ptr<TDeviceChangeWindow> window_;
};

// The string of one device property value by its registry data type: text;
// a number in decimal; every string of a multi-string list followed by CR LF;
// a 16-byte bus-type GUID in its braced form; anything else empty.
std::string HIDPropertyToString(Cardinal code, Cardinal dataType, const TBytes& data);

// The one list, made and freed by the start-up sequence.
extern THIDDevices* HIDDevices;
// The defaults enumerate the real device tree; a simulated scale brings a
// tree of its own and no hot-plug monitor.
void InitializeHIDDevices(const std::string& sysfsRoot = "/sys", const std::string& devRoot = "/dev",
                          bool watchHotPlug = true);
void FinalizeHIDDevices();

}  // namespace px
