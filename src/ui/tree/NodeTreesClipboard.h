#pragma once
// The clipboard formats trees render: one process-wide list of entries
// (format name, the tree class that renders it, priority, format record),
// kept in priority order, and each tree's own list of the format names it
// offers.
#include <memory>
#include <string>
#include <vector>

#include "platform/core/StringList.h"
#include "platform/core/Types.h"
#include "platform/gui/DataObjects.h"

namespace px {

class TBaseNodeTree;

// A tree class as the format list knows it: its name and its ancestor.
struct TNodeTreeClass {
  const char* Name;
  const TNodeTreeClass* Parent;
  // This class or one of its descendants is `other` or below it.
  bool InheritsFrom(const TNodeTreeClass* other) const {
    for (const TNodeTreeClass* c = this; c; c = c->Parent)
      if (c == other) return true;
    return false;
  }
};
extern const TNodeTreeClass BaseNodeTreeClass;    // TBaseNodeTree
extern const TNodeTreeClass StringNodeTreeClass;  // TCustomNodeStringTree

struct TClipboardFormatEntry {
  std::string Description;
  const TNodeTreeClass* TreeClass = nullptr;
  int32_t Priority = 0;
  TFormatEtc FormatEtc;
};

class TClipboardFormats;

class TClipboardFormatList {
 public:
  // Appends and keeps the list ordered by priority, lowest first (entries of
  // equal priority keep their order).
  void Add(const std::string& description, const TNodeTreeClass* treeClass, int32_t priority,
           const TFormatEtc& formatEtc);
  void Clear() { entries_.clear(); }
  const std::vector<TClipboardFormatEntry>& Entries() const { return entries_; }
  // The formats a tree class renders (its own and its ancestors'), limited
  // to the names in allowed when given, in list order.
  std::vector<TFormatEtc> EnumerateFormats(const TNodeTreeClass* treeClass,
                                           const TClipboardFormats* allowed = nullptr) const;
  // The entry of a name (any letter case), the one of highest priority when
  // several match; nullptr when none.
  const TClipboardFormatEntry* FindFormat(const std::string& description) const;
  const TClipboardFormatEntry* FindFormat(Word format) const;

 private:
  std::vector<TClipboardFormatEntry> entries_;
};

// The process-wide list, with the formats of the tree classes registered on
// first use.
TClipboardFormatList& ClipboardFormatList();
// Registers a format by name and adds it to the list; answers its number.
Word RegisterFormatByName(const std::string& description, const TNodeTreeClass* treeClass, int32_t priority);
// Adds a standard format (1-16 by their names, others by their registered
// name); a standard number without a name is not added.
void RegisterStandardFormat(Word format, const TNodeTreeClass* treeClass, int32_t priority);

// Formats of the trees, registered with the list.
Word CF_NODETREEDATA();
Word CF_NODETREEREFERENCE();
Word CF_HTML();
Word CF_RTFNOOBJS();
Word CF_RTF();
Word CF_CSV();

// The format names a tree offers: sorted, without duplicates, and only names
// that the list knows for the tree's class or an ancestor of it.
class TClipboardFormats : public TStringList {
 public:
  explicit TClipboardFormats(TBaseNodeTree* owner);
  TBaseNodeTree* Owner() const { return owner_; }
  Integer Add(const std::string& name) override;
  void Insert(Integer index, const std::string& name) override;

 private:
  bool accepts(const std::string& name) const;
  TBaseNodeTree* owner_;
};

}  // namespace px
