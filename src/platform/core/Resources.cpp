#include "platform/core/Resources.h"

#include <map>
#include <mutex>

#include "platform/core/CodePages.h"

namespace px {

namespace {

struct ResourceTable {
  std::mutex lock;
  std::map<std::pair<std::string, std::string>, std::shared_ptr<const TBytes>> entries;
};

ResourceTable& table() {
  static ResourceTable* t = new ResourceTable;  // lives to the end of the process
  return *t;
}

std::pair<std::string, std::string> key(const std::string& name, const std::string& type) {
  return {UpperCase(name), UpperCase(type)};
}

}  // namespace

void RegisterResource(const std::string& name, const std::string& type, TBytes bytes) {
  auto data = std::make_shared<const TBytes>(std::move(bytes));
  std::lock_guard lock(table().lock);
  table().entries[key(name, type)] = std::move(data);
}

void UnregisterResource(const std::string& name, const std::string& type) {
  std::shared_ptr<const TBytes> dying;
  std::lock_guard lock(table().lock);
  auto it = table().entries.find(key(name, type));
  if (it == table().entries.end()) return;
  dying = std::move(it->second);
  table().entries.erase(it);
}

std::shared_ptr<const TBytes> FindResource(const std::string& name, const std::string& type) {
  std::lock_guard lock(table().lock);
  auto it = table().entries.find(key(name, type));
  return it == table().entries.end() ? nullptr : it->second;
}

TResourceStream::TResourceStream(const std::string& name, const std::string& type) {
  auto bytes = FindResource(name, type);
  if (!bytes) throw EResNotFound("Resource " + name + " not found");
  data_ = *bytes;
}

Int64 TResourceStream::Write(const void*, Int64) {
  throw EStreamError("Can't write to a read-only resource stream");
}

}  // namespace px
