#include "ui/tree/NodeTreesClipboard.h"

#include <algorithm>
#include <cctype>

#include "platform/gui/ClipboardFormats.h"
#include "ui/tree/NodeTrees.h"

namespace px {

const TNodeTreeClass BaseNodeTreeClass{"TBaseNodeTree", nullptr};
const TNodeTreeClass StringNodeTreeClass{"TCustomNodeStringTree", &BaseNodeTreeClass};

namespace {

bool sameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

TClipboardFormatList& rawList() {
  static TClipboardFormatList list;
  return list;
}

struct Formats {
  Word treeData, treeReference, html, rtfNoObjects, rtf, csv;
};

const Formats& formats() {
  static const Formats f = [] {
    Formats r{};
    r.treeData = RegisterFormatByName("Node Tree Data", &BaseNodeTreeClass, 50);
    r.treeReference = RegisterClipboardFormat("Node Tree Reference");
    // The reference names a tree of this process: it never goes elsewhere.
    SetClipboardFormatPrivate(r.treeReference);
    r.html = RegisterFormatByName("HTML Format", &StringNodeTreeClass, 80);
    r.rtfNoObjects = RegisterFormatByName("Rich Text Format Without Objects", &StringNodeTreeClass, 84);
    r.rtf = RegisterFormatByName("Rich Text Format", &StringNodeTreeClass, 85);
    r.csv = RegisterFormatByName("CSV", &StringNodeTreeClass, 90);
    RegisterStandardFormat(CF_UNICODETEXT, &StringNodeTreeClass, 95);
    RegisterStandardFormat(CF_TEXT, &StringNodeTreeClass, 100);
    return r;
  }();
  return f;
}

}  // namespace

void TClipboardFormatList::Add(const std::string& description, const TNodeTreeClass* treeClass, int32_t priority,
                               const TFormatEtc& formatEtc) {
  TClipboardFormatEntry entry{description, treeClass, priority, formatEtc};
  auto at = std::upper_bound(entries_.begin(), entries_.end(), priority,
                             [](int32_t p, const TClipboardFormatEntry& e) { return p < e.Priority; });
  entries_.insert(at, std::move(entry));
}

std::vector<TFormatEtc> TClipboardFormatList::EnumerateFormats(const TNodeTreeClass* treeClass,
                                                               const TClipboardFormats* allowed) const {
  std::vector<TFormatEtc> result;
  for (const TClipboardFormatEntry& e : entries_) {
    if (!treeClass || !treeClass->InheritsFrom(e.TreeClass)) continue;
    if (allowed && allowed->IndexOf(e.Description) < 0) continue;
    result.push_back(e.FormatEtc);
  }
  return result;
}

const TClipboardFormatEntry* TClipboardFormatList::FindFormat(const std::string& description) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (sameText(it->Description, description)) return &*it;
  return nullptr;
}

const TClipboardFormatEntry* TClipboardFormatList::FindFormat(Word format) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->FormatEtc.cfFormat == format) return &*it;
  return nullptr;
}

TClipboardFormatList& ClipboardFormatList() {
  formats();
  return rawList();
}

Word RegisterFormatByName(const std::string& description, const TNodeTreeClass* treeClass, int32_t priority) {
  const Word number = RegisterClipboardFormat(description);
  TFormatEtc etc;
  etc.cfFormat = number;
  rawList().Add(description, treeClass, priority, etc);
  return number;
}

void RegisterStandardFormat(Word format, const TNodeTreeClass* treeClass, int32_t priority) {
  const std::string name = GetClipboardFormatName(format);
  if (name.empty()) return;
  TFormatEtc etc;
  etc.cfFormat = format;
  rawList().Add(name, treeClass, priority, etc);
}

Word CF_NODETREEDATA() { return formats().treeData; }
Word CF_NODETREEREFERENCE() { return formats().treeReference; }
Word CF_HTML() { return formats().html; }
Word CF_RTFNOOBJS() { return formats().rtfNoObjects; }
Word CF_RTF() { return formats().rtf; }
Word CF_CSV() { return formats().csv; }

TClipboardFormats::TClipboardFormats(TBaseNodeTree* owner) : owner_(owner) {
  SetSorted(true);
  Duplicates = dupIgnore;
}

bool TClipboardFormats::accepts(const std::string& name) const {
  const TClipboardFormatEntry* e = ClipboardFormatList().FindFormat(name);
  return e && owner_ && owner_->TreeClass()->InheritsFrom(e->TreeClass);
}

Integer TClipboardFormats::Add(const std::string& name) {
  if (!accepts(name)) return -1;
  return TStringList::Add(name);
}

void TClipboardFormats::Insert(Integer index, const std::string& name) {
  if (accepts(name)) TStringList::Insert(index, name);
}

}  // namespace px
