#include "ui/png/PNGGlobal.h"

#include "ui/png/PNGCompressionZLib.h"
#include "ui/png/PNGFilter.h"
#include "ui/png/PNGInterlaceAdam7.h"
#include "ui/png/PNGInterlaceNone.h"

namespace px {
namespace {

template <typename T>
void addHandler(std::array<std::shared_ptr<T>, 256>& table, std::shared_ptr<T> handler, Byte id,
                const char* sameIdMessage) {
  if (!handler) throw EPNGException("PNGFile: cannot add an unassigned handler");
  if (table[id]) throw EPNGException(sameIdMessage);
  table[id] = std::move(handler);
}

template <typename T>
std::shared_ptr<T> getHandler(const std::array<std::shared_ptr<T>, 256>& table, Byte id, const char* unknownMessage) {
  if (!table[id]) throw EPNGException(unknownMessage);
  return table[id];
}

}  // namespace

void TPNGGlobal::AddCompressionHandler(std::shared_ptr<IPNGCompressionHandler> Handler, Byte ID) {
  addHandler(compression_, std::move(Handler), ID, "PNGFile: cannot add an compression handler with same byte id");
}

void TPNGGlobal::AddFilterHandler(std::shared_ptr<IPNGFilterHandler> Handler, Byte ID) {
  addHandler(filters_, std::move(Handler), ID, "PNGFile: cannot add a filter handler with same byte id");
}

void TPNGGlobal::AddInterlaceHandler(std::shared_ptr<IPNGInterlaceHandler> Handler, Byte ID) {
  addHandler(interlaces_, std::move(Handler), ID, "PNGFile: cannot add an interlace handler with same byte id");
}

std::shared_ptr<IPNGCompressionHandler> TPNGGlobal::GetCompressionHandler(Byte ID) const {
  return getHandler(compression_, ID, "PNGFile: Cannor read PNG file: unknown compression method");
}

std::shared_ptr<IPNGFilterHandler> TPNGGlobal::GetFilterHandler(Byte ID) const {
  return getHandler(filters_, ID, "PNGFile: Cannor read PNG file: unknown filter method");
}

std::shared_ptr<IPNGInterlaceHandler> TPNGGlobal::GetInterlaceHandler(Byte ID) const {
  return getHandler(interlaces_, ID, "PNGFile: Cannor read PNG file: unknown interlace method");
}

TPNGGlobal& GetPNGGlobal() {
  static TPNGGlobal* global = [] {
    static TPNGGlobal instance;
    instance.AddCompressionHandler(std::make_shared<TPNGZLibHandler>(), 0);
    instance.AddFilterHandler(std::make_shared<TPNGFilterDefault>(), 0);
    instance.AddInterlaceHandler(std::make_shared<TPNGInterlaceNone>(), 0);
    instance.AddInterlaceHandler(std::make_shared<TPNGInterlaceAdam7>(), 1);
    return &instance;
  }();
  return *global;
}

}  // namespace px
