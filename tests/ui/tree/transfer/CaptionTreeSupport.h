#pragma once
// Trees for the data transfer tests: a string tree whose captions live in a
// map (so they travel through the node stream's caption chunk and come back
// through the new-text step), built from a compact description.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/CodePages.h"
#include "platform/gui/Forms.h"
#include "ui/tree/NodeTreesString.h"

namespace px::test {

class CaptionTree : public TCustomNodeStringTree {
 public:
  explicit CaptionTree(TComponent* owner = nullptr) : TCustomNodeStringTree(owner) {
    SetNodeDataSize(static_cast<int32_t>(sizeof(int32_t)));
    ClipboardFormats().Add("Node Tree Data");
    ClipboardFormats().Add("Unicode text");
    ClipboardFormats().Add("Plain text");
    ClipboardFormats().Add("CSV");
    ClipboardFormats().Add("HTML Format");
    ClipboardFormats().Add("Rich Text Format");
    OnGetText = [this](TBaseNodeTree*, PNTNode node, TColumnIndex, TNTTextType type, UnicodeString& text) {
      if (type != ttNormal) return;
      auto it = captions.find(node);
      text = it != captions.end() ? it->second : u"?";
    };
    OnNewText = [this](TBaseNodeTree*, PNTNode node, TColumnIndex, const UnicodeString& text) {
      captions[node] = text;
    };
    OnNodeFree = [this](TBaseNodeTree*, PNTNode node) { captions.erase(node); };
  }
  // Adds a child with a caption.
  PNTNode Add(PNTNode parent, const std::string& caption) {
    PNTNode n = AddChild(parent);
    captions[n] = Utf8ToUnicode(caption);
    // The width measured with the placeholder caption is stale.
    if (int32_t* width = CachedWidth(n)) *width = 0;
    return n;
  }
  // "a(b c) d": the captions in tree order with children in brackets.
  std::string Outline(PNTNode parent = nullptr) {
    std::string out;
    for (PNTNode n = GetFirstChildNoInit(parent ? parent : RootNode()); n; n = n->NextSibling) {
      if (!out.empty()) out += ' ';
      out += UnicodeToUtf8(captions.count(n) ? captions[n] : u"?");
      if (n->FirstChild) out += "(" + Outline(n) + ")";
    }
    return out;
  }
  PNTNode Find(const std::string& caption) {
    for (auto& [node, text] : captions)
      if (text == Utf8ToUnicode(caption)) return node;
    return nullptr;
  }
  void Select(std::initializer_list<const char*> names) {
    ClearSelection();
    for (const char* name : names) AddToSelection(Find(name));
  }
  std::map<PNTNode, UnicodeString> captions;
};

// A tree freed the way its owner would.
struct OwnedTree {
  std::unique_ptr<CaptionTree> tree = std::make_unique<CaptionTree>();
  ~OwnedTree() { Free(); }
  void Free() {
    if (!tree) return;
    tree->BeforeDestruction();
    tree.reset();
  }
  CaptionTree* operator->() { return tree.get(); }
  CaptionTree& operator*() { return *tree; }
};

}  // namespace px::test
