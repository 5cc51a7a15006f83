// Hash, tree and static indexes of the record store.
#include "data/UnitDataSetIndex.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace px {

uint32_t MemHashBytes(const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  const uint32_t c1 = 0xcc9e2d51, c2 = 0x1b873593;
  uint32_t h = 0;
  const size_t blocks = length / 4;
  for (size_t i = 0; i < blocks; ++i) {
    uint32_t k;
    std::memcpy(&k, bytes + i * 4, 4);
    k *= c1;
    k = (k << 15) | (k >> 17);
    k *= c2;
    h ^= k;
    h = (h << 13) | (h >> 19);
    h = h * 5 + 0xe6546b64;
  }
  const uint8_t* tail = bytes + blocks * 4;
  uint32_t k = 0;
  switch (length & 3) {
    case 3:
      k ^= static_cast<uint32_t>(tail[2]) << 16;
      [[fallthrough]];
    case 2:
      k ^= static_cast<uint32_t>(tail[1]) << 8;
      [[fallthrough]];
    case 1:
      k ^= tail[0];
      k *= c1;
      k = (k << 15) | (k >> 17);
      k *= c2;
      h ^= k;
  }
  h ^= static_cast<uint32_t>(length);
  h ^= h >> 16;
  h *= 0x85ebca6b;
  h ^= h >> 13;
  h *= 0xc2b2ae35;
  h ^= h >> 16;
  return h;
}

namespace {

using memds::Load;

inline uint32_t hash32(uint32_t v) {
  uint32_t s = v ^ ((v >> 16) << 11) ^ (v >> 16);
  return s + (s >> 11);
}
inline uint32_t hash64(uint64_t v) {
  uint32_t lo = static_cast<uint32_t>(v), hi = static_cast<uint32_t>(v >> 32);
  uint32_t m = (lo >> 16) | (hi << 16);
  uint32_t s = (m << 11) ^ lo ^ (lo >> 16) ^ hi;
  return s + (s >> 11);
}
template <class T>
inline int cmpNum(T a, T b) {
  return (a > b) - (a < b);
}
// Floats in a total order: NaN after +infinity, all NaNs equal.
template <class F>
inline int cmpFloat(F a, F b) {
  const bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return static_cast<int>(na) - static_cast<int>(nb);
  return cmpNum(a, b);
}

// Key traits: Search is the form in which keys are loaded and compared;
// eq is the hash index's equality (on the stored bits), cmp the ordered
// indexes' order.
struct KInteger {
  using Search = int32_t;
  static Search load(const char* p) { return Load<int32_t>(p); }
  static int cmp(Search a, Search b) { return cmpNum(a, b); }
  static bool eq(Search a, Search b) { return a == b; }
  static uint32_t hash(Search v) { return hash32(static_cast<uint32_t>(v)); }
};
struct KInt64 {
  using Search = int64_t;
  static Search load(const char* p) { return Load<int64_t>(p); }
  static int cmp(Search a, Search b) { return cmpNum(a, b); }
  static bool eq(Search a, Search b) { return a == b; }
  static uint32_t hash(Search v) { return hash64(static_cast<uint64_t>(v)); }
};
struct KSingle {
  using Search = float;
  static Search load(const char* p) { return Load<float>(p); }
  static int cmp(Search a, Search b) { return cmpFloat(a, b); }
  static uint32_t bits(Search v) {
    uint32_t b;
    std::memcpy(&b, &v, 4);
    return b;
  }
  static bool eq(Search a, Search b) { return bits(a) == bits(b); }
  static uint32_t hash(Search v) { return hash32(bits(v)); }
};
struct KDouble {
  using Search = double;
  static Search load(const char* p) { return Load<double>(p); }
  static int cmp(Search a, Search b) { return cmpFloat(a, b); }
  static uint64_t bits(Search v) {
    uint64_t b;
    std::memcpy(&b, &v, 8);
    return b;
  }
  static bool eq(Search a, Search b) { return bits(a) == bits(b); }
  static uint32_t hash(Search v) { return hash64(bits(v)); }
};
struct KWord {
  using Search = uint16_t;
  static Search load(const char* p) { return Load<uint16_t>(p); }
  static int cmp(Search a, Search b) { return cmpNum(a, b); }
  static bool eq(Search a, Search b) { return a == b; }
  static uint32_t hash(Search v) { return v + (v >> 11u); }
};
struct KByte {
  using Search = uint8_t;
  static Search load(const char* p) { return static_cast<uint8_t>(*p); }
  static int cmp(Search a, Search b) { return cmpNum(a, b); }
  static bool eq(Search a, Search b) { return a == b; }
  static uint32_t hash(Search v) { return v; }
};
struct KAnsi {
  using Search = std::string_view;
  static Search load(const char* p) { return memds::AnsiView(memds::LoadPtr(p)); }
  static int cmp(Search a, Search b) {
    const size_t n = std::min(a.size(), b.size());
    int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (c != 0) return c < 0 ? -1 : 1;
    return cmpNum(a.size(), b.size());
  }
  static bool eq(Search a, Search b) { return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0); }
  static uint32_t hash(Search v) { return MemHashBytes(v.data(), v.size()); }
};
struct KUnicode {
  using Search = std::u16string_view;
  static Search load(const char* p) { return memds::UnicodeView(memds::LoadPtr(p)); }
  // Code units compared as signed 16-bit numbers.
  static int cmp(Search a, Search b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return static_cast<int16_t>(a[i]) < static_cast<int16_t>(b[i]) ? -1 : 1;
    }
    return cmpNum(a.size(), b.size());
  }
  static bool eq(Search a, Search b) { return a == b; }
  static uint32_t hash(Search v) {
    // Little-endian code units, which is the memory order here.
    return MemHashBytes(v.data(), v.size() * 2);
  }
};
struct KGuid {
  using Search = TGUID;
  static Search load(const char* p) { return Load<TGUID>(p); }
  static int cmp(const Search& a, const Search& b) {
    if (a.D1 != b.D1) return a.D1 < b.D1 ? -1 : 1;
    if (a.D2 != b.D2) return a.D2 < b.D2 ? -1 : 1;
    if (a.D3 != b.D3) return a.D3 < b.D3 ? -1 : 1;
    int c = std::memcmp(a.D4.data(), b.D4.data(), 8);
    return (c > 0) - (c < 0);
  }
  static bool eq(const Search& a, const Search& b) { return std::memcmp(&a, &b, 16) == 0; }
  static uint32_t hash(const Search& v) { return MemHashBytes(&v, 16); }
};

inline TMemRecord* recordOf(const void* node, Integer nodeOffset) {
  return reinterpret_cast<TMemRecord*>(const_cast<char*>(static_cast<const char*>(node)) - nodeOffset);
}

// ---------------------------------------------------------------------------
// Hash index: chained buckets, node = {next node, stored hash}, grows at load
// factor 1 and shrinks below a quarter, never under 256 buckets.

template <class KT>
class THashIndex final : public TMemIndex {
  static constexpr bool kDirect = std::is_same_v<KT, KByte>;
  static constexpr Integer kMinBuckets = 256;

  struct Node;  // opaque: next pointer at +0, hash at +8
  static Node*& next(Node* n) { return *reinterpret_cast<Node**>(n); }
  static uint32_t& storedHash(Node* n) { return *reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(n) + 8); }
  Node* nodeOf(const TMemRecord* rec) const { return reinterpret_cast<Node*>(const_cast<char*>(rec->Block()) + NodeOffset); }
  typename KT::Search keyOf(Node* n) const { return KT::load(reinterpret_cast<const char*>(n) - NodeOffset + KeyOffset); }

 public:
  THashIndex() { resize(kMinBuckets); }

  bool Insert(TMemRecord* rec) override {
    if (Count >= bucketCount_) resize(bucketCount_ * 2);
    Node* node = nodeOf(rec);
    const auto key = KT::load(rec->Block() + KeyOffset);
    const uint32_t h = KT::hash(key);
    storedHash(node) = h;
    Node*& head = buckets_[h & mask_];
    if constexpr (kDirect) {
      if (head) return false;
    } else {
      for (Node* n = head; n; n = next(n))
        if (storedHash(n) == h && KT::eq(keyOf(n), key)) return false;
    }
    next(node) = head;
    head = node;
    ++Count;
    return true;
  }

  void Remove(TMemRecord* rec) override {
    Node* node = nodeOf(rec);
    Node** link = &buckets_[storedHash(node) & mask_];
    while (*link && *link != node) link = &next(*link);
    if (!*link) return;
    *link = next(node);
    next(node) = nullptr;
    --Count;
    if (Count < shrinkAt_) resize(shrinkAt_);
  }

  TMemRecord* Find(const void* key, Byte) override {
    const auto& k = *static_cast<const typename KT::Search*>(key);
    const uint32_t h = KT::hash(k);
    for (Node* n = buckets_[h & mask_]; n; n = next(n))
      if (storedHash(n) == h && KT::eq(keyOf(n), k)) return recordOf(n, NodeOffset);
    return nullptr;
  }

  // A hash index gives no order: it walks the table's list.
  TMemRecord* First() override { return Owner->First(); }
  TMemRecord* Last() override { return Owner->Last(); }
  TMemRecord* Next(const TMemRecord* rec) override { return rec->GetNext(); }
  TMemRecord* Prior(const TMemRecord* rec) override { return rec->GetPrior(); }

  void Clear() override {
    Count = 0;
    buckets_.assign(static_cast<size_t>(kMinBuckets), nullptr);
    resize(kMinBuckets);
  }

  std::unique_ptr<TMemIndex> CloneEmpty(TMemDataSet* owner) const override {
    auto c = std::make_unique<THashIndex>();
    copyBaseTo(*c, owner);
    c->resize(bucketCount_);
    return c;
  }

  void CheckIntegrity() const override {
    Integer n = 0;
    for (size_t b = 0; b < buckets_.size(); ++b)
      for (Node* node = buckets_[b]; node; node = next(node)) {
        Assert((storedHash(node) & mask_) == b, "hash chain");
        Assert(KT::hash(keyOf(node)) == storedHash(node), "stored hash");
        Assert(HasKey(recordOf(node, NodeOffset)), "null key in hash");
        ++n;
      }
    Assert(n == Count, "hash count");
  }

  Integer BucketCount() const { return bucketCount_; }

 private:
  void resize(Integer n) {
    Assert(n >= 1 && n >= kMinBuckets, "HashResize invalid!");
    std::vector<Node*> old = std::move(buckets_);
    buckets_.assign(static_cast<size_t>(n), nullptr);
    mask_ = static_cast<uint32_t>(n - 1);
    bucketCount_ = n;
    shrinkAt_ = kMinBuckets >= n / 4 ? -1 : n / 4;
    for (Node* head : old) {
      while (head) {
        Node* nx = next(head);
        Node*& b = buckets_[storedHash(head) & mask_];
        next(head) = b;
        b = head;
        head = nx;
      }
    }
  }

  std::vector<Node*> buckets_;
  uint32_t mask_ = 0;
  Integer bucketCount_ = 0;
  Integer shrinkAt_ = -1;
};

// ---------------------------------------------------------------------------
// AVL tree with the nodes inside the records: left, right, parent pointers
// and a balance byte (height of right minus height of left).

template <class KT, bool Unique>
class TTreeIndex final : public TMemIndex {
  struct Node {
    Node* left;
    Node* right;
    Node* parent;
  };
  static_assert(sizeof(Node) == 24);
  static int8_t& bal(Node* n) { return *reinterpret_cast<int8_t*>(reinterpret_cast<char*>(n) + 24); }
  static int8_t balOf(const Node* n) { return *reinterpret_cast<const int8_t*>(reinterpret_cast<const char*>(n) + 24); }
  Node* nodeOf(const TMemRecord* rec) const { return reinterpret_cast<Node*>(const_cast<char*>(rec->Block()) + NodeOffset); }
  typename KT::Search keyOf(const Node* n) const {
    return kt_.load(reinterpret_cast<const char*>(n) - NodeOffset + KeyOffset);
  }
  TMemRecord* rec(const Node* n) const { return n ? recordOf(n, NodeOffset) : nullptr; }

 public:
  TTreeIndex() = default;
  explicit TTreeIndex(KT kt) : kt_(std::move(kt)) {}

  bool Insert(TMemRecord* r) override {
    Node* n = nodeOf(r);
    const auto key = kt_.load(r->Block() + KeyOffset);
    Node* parent = nullptr;
    Node** link = &root_;
    for (Node* cur = root_; cur; cur = *link) {
      const int c = kt_.cmp(key, keyOf(cur));
      if (Unique && c == 0) return false;
      parent = cur;
      link = c < 0 ? &cur->left : &cur->right;
    }
    n->left = n->right = nullptr;
    n->parent = parent;
    bal(n) = 0;
    *link = n;
    ++Count;
    for (Node *child = n, *p = parent; p; child = p, p = p->parent) {
      if (child == p->left) {
        if (bal(p) == 1) {
          bal(p) = 0;
          break;
        }
        if (bal(p) == 0) {
          bal(p) = -1;
          continue;
        }
        fixLeftHeavy(p);
        break;
      }
      if (bal(p) == -1) {
        bal(p) = 0;
        break;
      }
      if (bal(p) == 0) {
        bal(p) = 1;
        continue;
      }
      fixRightHeavy(p);
      break;
    }
    return true;
  }

  void Remove(TMemRecord* r) override {
    Node* n = nodeOf(r);
    if (!n->parent && root_ != n) return;
    --Count;
    Node* p;  // where a subtree got shorter
    bool leftShrunk = false;
    if (n->left && n->right) {
      Node* s = n->right;
      if (!s->left) {
        replace(n, s);
        s->left = n->left;
        s->left->parent = s;
        bal(s) = bal(n);
        p = s;
        leftShrunk = false;
      } else {
        while (s->left) s = s->left;
        Node* sp = s->parent;
        sp->left = s->right;
        if (s->right) s->right->parent = sp;
        replace(n, s);
        s->left = n->left;
        s->left->parent = s;
        s->right = n->right;
        s->right->parent = s;
        bal(s) = bal(n);
        p = sp;
        leftShrunk = true;
      }
    } else {
      Node* child = n->left ? n->left : n->right;
      p = n->parent;
      if (p) leftShrunk = p->left == n;
      replace(n, child);
    }
    while (p) {
      Node* up = p->parent;
      const bool upLeft = up && up->left == p;
      if (leftShrunk) {
        if (bal(p) == -1) {
          bal(p) = 0;
        } else if (bal(p) == 0) {
          bal(p) = 1;
          break;
        } else if (!fixRightHeavyAfterRemove(p)) {
          break;
        }
      } else {
        if (bal(p) == 1) {
          bal(p) = 0;
        } else if (bal(p) == 0) {
          bal(p) = -1;
          break;
        } else if (!fixLeftHeavyAfterRemove(p)) {
          break;
        }
      }
      p = up;
      leftShrunk = upLeft;
    }
    n->left = n->right = n->parent = nullptr;
    bal(n) = 0;
  }

  TMemRecord* Find(const void* keyPtr, Byte flags) override {
    const auto& key = *static_cast<const typename KT::Search*>(keyPtr);
    if (flags & mfAtOrBefore) {
      Node* ub = upperBound(key);
      return rec(ub ? prior(ub) : last());
    }
    Node* lb = lowerBound(key);
    if (flags & mfAtOrAfter) return rec(lb);
    return lb && kt_.cmp(keyOf(lb), key) == 0 ? rec(lb) : nullptr;
  }

  TMemRecord* First() override { return rec(first()); }
  TMemRecord* Last() override { return rec(last()); }
  TMemRecord* Next(const TMemRecord* r) override {
    const Node* n = nodeOf(r);
    if (!n->parent && root_ != n) return nullptr;
    return rec(next(n));
  }
  TMemRecord* Prior(const TMemRecord* r) override {
    const Node* n = nodeOf(r);
    if (!n->parent && root_ != n) return nullptr;
    return rec(prior(n));
  }

  void Clear() override {
    root_ = nullptr;
    Count = 0;
  }

  std::unique_ptr<TMemIndex> CloneEmpty(TMemDataSet* owner) const override {
    auto c = std::make_unique<TTreeIndex>(kt_);
    copyBaseTo(*c, owner);
    return c;
  }

  void CheckIntegrity() const override {
    Integer n = 0;
    checkSubtree(root_, nullptr, n);
    Assert(n == Count, "tree count");
  }

 private:
  int checkSubtree(const Node* n, const Node* parent, Integer& count) const {
    if (!n) return 0;
    Assert(n->parent == parent, "tree parent link");
    Assert(HasKey(rec(n)), "null key in tree");
    ++count;
    if (n->left) Assert(kt_.cmp(keyOf(n->left), keyOf(n)) <= (Unique ? -1 : 0), "tree order left");
    if (n->right) Assert(kt_.cmp(keyOf(n->right), keyOf(n)) >= (Unique ? 1 : 0), "tree order right");
    const int hl = checkSubtree(n->left, n, count);
    const int hr = checkSubtree(n->right, n, count);
    Assert(hr - hl == balOf(n) && hr - hl >= -1 && hr - hl <= 1, "tree balance");
    return 1 + std::max(hl, hr);
  }

  void replace(Node* old, Node* neu) {
    Node* p = old->parent;
    if (!p)
      root_ = neu;
    else if (p->left == old)
      p->left = neu;
    else
      p->right = neu;
    if (neu) neu->parent = p;
  }
  void rotateLeft(Node* x) {
    Node* y = x->right;
    x->right = y->left;
    if (y->left) y->left->parent = x;
    replace(x, y);
    y->left = x;
    x->parent = y;
  }
  void rotateRight(Node* x) {
    Node* y = x->left;
    x->left = y->right;
    if (y->right) y->right->parent = x;
    replace(x, y);
    y->right = x;
    x->parent = y;
  }
  // p's left side is two levels taller (after an insert).
  void fixLeftHeavy(Node* p) {
    Node* c = p->left;
    if (bal(c) == -1) {
      rotateRight(p);
      bal(p) = 0;
      bal(c) = 0;
    } else {
      doubleRight(p);
    }
  }
  void fixRightHeavy(Node* p) {
    Node* c = p->right;
    if (bal(c) == 1) {
      rotateLeft(p);
      bal(p) = 0;
      bal(c) = 0;
    } else {
      doubleLeft(p);
    }
  }
  void doubleRight(Node* p) {
    Node* c = p->left;
    Node* g = c->right;
    rotateLeft(c);
    rotateRight(p);
    bal(p) = bal(g) == -1 ? 1 : 0;
    bal(c) = bal(g) == 1 ? -1 : 0;
    bal(g) = 0;
  }
  void doubleLeft(Node* p) {
    Node* c = p->right;
    Node* g = c->left;
    rotateRight(c);
    rotateLeft(p);
    bal(p) = bal(g) == 1 ? -1 : 0;
    bal(c) = bal(g) == -1 ? 1 : 0;
    bal(g) = 0;
  }
  // After a remove made p's left side two levels shorter; true when the
  // subtree got shorter (the walk goes on).
  bool fixRightHeavyAfterRemove(Node* p) {
    Node* r = p->right;
    if (bal(r) == 0) {
      rotateLeft(p);
      bal(p) = 1;
      bal(r) = -1;
      return false;
    }
    if (bal(r) == 1) {
      rotateLeft(p);
      bal(p) = 0;
      bal(r) = 0;
      return true;
    }
    doubleLeft(p);
    return true;
  }
  bool fixLeftHeavyAfterRemove(Node* p) {
    Node* l = p->left;
    if (bal(l) == 0) {
      rotateRight(p);
      bal(p) = -1;
      bal(l) = 1;
      return false;
    }
    if (bal(l) == -1) {
      rotateRight(p);
      bal(p) = 0;
      bal(l) = 0;
      return true;
    }
    doubleRight(p);
    return true;
  }

  Node* first() const {
    Node* n = root_;
    if (n)
      while (n->left) n = n->left;
    return n;
  }
  Node* last() const {
    Node* n = root_;
    if (n)
      while (n->right) n = n->right;
    return n;
  }
  static Node* next(const Node* n) {
    if (n->right) {
      Node* m = n->right;
      while (m->left) m = m->left;
      return m;
    }
    const Node* c = n;
    Node* p = n->parent;
    while (p && p->right == c) {
      c = p;
      p = p->parent;
    }
    return p;
  }
  static Node* prior(const Node* n) {
    if (n->left) {
      Node* m = n->left;
      while (m->right) m = m->right;
      return m;
    }
    const Node* c = n;
    Node* p = n->parent;
    while (p && p->left == c) {
      c = p;
      p = p->parent;
    }
    return p;
  }
  // Asks for both children of a node (their links and key slots) while the
  // node's own key is compared. For string keys that comparison waits on the
  // text, which lives outside the record; fetching the next level meanwhile
  // leaves one wait a level instead of two.
  void prefetchChildren(const Node* n) const {
    for (const Node* c : {n->left, n->right}) {
      if (!c) continue;
      __builtin_prefetch(c);
      __builtin_prefetch(reinterpret_cast<const char*>(c) - NodeOffset + KeyOffset);
    }
  }
  // First node whose key is not less than key.
  Node* lowerBound(const typename KT::Search& key) const {
    Node* res = nullptr;
    for (Node* cur = root_; cur;) {
      prefetchChildren(cur);
      if (kt_.cmp(keyOf(cur), key) < 0) {
        cur = cur->right;
      } else {
        res = cur;
        cur = cur->left;
      }
    }
    return res;
  }
  // First node whose key is greater than key.
  Node* upperBound(const typename KT::Search& key) const {
    Node* res = nullptr;
    for (Node* cur = root_; cur;) {
      prefetchChildren(cur);
      if (kt_.cmp(keyOf(cur), key) <= 0) {
        cur = cur->right;
      } else {
        res = cur;
        cur = cur->left;
      }
    }
    return res;
  }

  Node* root_ = nullptr;
  KT kt_;
};

// ---------------------------------------------------------------------------
// Static index: a sorted array of the records whose key is not null, rebuilt
// on the first use after any change. Equal keys keep creation order.

template <class KT>
class TStaticIndex final : public TMemIndex {
  typename KT::Search keyOf(const TMemRecord* r) const { return KT::load(r->Block() + KeyOffset); }
  bool less(const TMemRecord* a, const TMemRecord* b) const {
    const int c = KT::cmp(keyOf(a), keyOf(b));
    return c < 0 || (c == 0 && a->Serial() < b->Serial());
  }

 public:
  bool Insert(TMemRecord*) override {
    stale_ = true;
    return true;
  }
  void Remove(TMemRecord*) override { stale_ = true; }

  TMemRecord* Find(const void* keyPtr, Byte flags) override {
    ensure();
    const auto& key = *static_cast<const typename KT::Search*>(keyPtr);
    size_t pos;
    if (flags & mfAtOrBefore) {
      auto it = std::upper_bound(arr_.begin(), arr_.end(), key,
                                 [this](const typename KT::Search& k, TMemRecord* r) { return KT::cmp(k, keyOf(r)) < 0; });
      if (it == arr_.begin()) return nullptr;
      pos = static_cast<size_t>(it - arr_.begin()) - 1;
    } else {
      auto it = std::lower_bound(arr_.begin(), arr_.end(), key,
                                 [this](TMemRecord* r, const typename KT::Search& k) { return KT::cmp(keyOf(r), k) < 0; });
      if (it == arr_.end()) return nullptr;
      pos = static_cast<size_t>(it - arr_.begin());
      if (!(flags & mfAtOrAfter) && KT::cmp(keyOf(*it), key) != 0) return nullptr;
    }
    cached_ = static_cast<Integer>(pos);
    return arr_[pos];
  }

  TMemRecord* First() override {
    ensure();
    return at(0);
  }
  TMemRecord* Last() override {
    ensure();
    return at(static_cast<Integer>(arr_.size()) - 1);
  }
  TMemRecord* Next(const TMemRecord* r) override { return at(locate(r) + 1); }
  TMemRecord* Prior(const TMemRecord* r) override { return at(locate(r) - 1); }

  void Clear() override {
    arr_.clear();
    stale_ = false;
    cached_ = -1;
    Count = 0;
  }
  void Rebuild() override {
    arr_.clear();
    for (TMemRecord* r = Owner->First(); r; r = r->GetNext())
      if (HasKey(r)) arr_.push_back(r);
    std::sort(arr_.begin(), arr_.end(), [this](const TMemRecord* a, const TMemRecord* b) { return less(a, b); });
    stale_ = false;
    cached_ = -1;
    Count = static_cast<Integer>(arr_.size());
  }

  std::unique_ptr<TMemIndex> CloneEmpty(TMemDataSet* owner) const override {
    auto c = std::make_unique<TStaticIndex>();
    copyBaseTo(*c, owner);
    return c;
  }

  void CheckIntegrity() const override {
    if (stale_) return;
    for (size_t i = 1; i < arr_.size(); ++i) Assert(less(arr_[i - 1], arr_[i]), "static order");
  }

 private:
  void ensure() {
    if (stale_) Rebuild();
  }
  TMemRecord* at(Integer pos) {
    if (pos < 0 || pos >= static_cast<Integer>(arr_.size())) return nullptr;
    cached_ = pos;
    return arr_[static_cast<size_t>(pos)];
  }
  Integer locate(const TMemRecord* r) {
    ensure();
    if (cached_ >= 0 && cached_ < static_cast<Integer>(arr_.size()) && arr_[static_cast<size_t>(cached_)] == r) return cached_;
    auto it = std::lower_bound(arr_.begin(), arr_.end(), r, [this](const TMemRecord* a, const TMemRecord* b) { return less(a, b); });
    if (it == arr_.end() || *it != r) throw EDatasetException("Error.");
    return static_cast<Integer>(it - arr_.begin());
  }

  std::vector<TMemRecord*> arr_;
  bool stale_ = false;
  Integer cached_ = -1;
};

// Keys of a multi-field index: the record block itself, compared field by
// field in each field's key order.
struct KMulti {
  using Search = const char*;
  std::vector<std::pair<TMemAnyType, Integer>> parts;
  Search load(const char* p) const { return p; }
  template <class K>
  static int cmpAt(const char* a, const char* b) {
    return K::cmp(K::load(a), K::load(b));
  }
  int cmp(Search a, Search b) const {
    for (const auto& [type, off] : parts) {
      int c = 0;
      const char *x = a + off, *y = b + off;
      switch (type) {
        case mftInteger:
          c = cmpAt<KInteger>(x, y);
          break;
        case mftInt64:
        case mftCurrency:
          c = cmpAt<KInt64>(x, y);
          break;
        case mftAnsiString:
          c = cmpAt<KAnsi>(x, y);
          break;
        case mftUnicodeString:
          c = cmpAt<KUnicode>(x, y);
          break;
        case mftSingle:
          c = cmpAt<KSingle>(x, y);
          break;
        case mftDouble:
          c = cmpAt<KDouble>(x, y);
          break;
        case mftGUID:
          c = cmpAt<KGuid>(x, y);
          break;
        case mftWord:
          c = cmpAt<KWord>(x, y);
          break;
        case mftBoolean:
        case mftByte:
          c = cmpAt<KByte>(x, y);
          break;
        default:
          Assert(false, "INTERNAL ERROR");
      }
      if (c != 0) return c;
    }
    return 0;
  }
};

template <template <class> class Idx>
std::unique_ptr<TMemIndex> makeByType(TMemAnyType t, bool guidAllowed) {
  switch (t) {
    case mftInteger:
      return std::make_unique<Idx<KInteger>>();
    case mftInt64:
    case mftCurrency:
      return std::make_unique<Idx<KInt64>>();
    case mftAnsiString:
      return std::make_unique<Idx<KAnsi>>();
    case mftUnicodeString:
      return std::make_unique<Idx<KUnicode>>();
    case mftSingle:
      return std::make_unique<Idx<KSingle>>();
    case mftDouble:
      return std::make_unique<Idx<KDouble>>();
    case mftGUID:
      if (guidAllowed) return std::make_unique<Idx<KGuid>>();
      return nullptr;
    case mftWord:
      return std::make_unique<Idx<KWord>>();
    case mftByte:
      return std::make_unique<Idx<KByte>>();
    default:
      return nullptr;
  }
}

template <class KT>
using TUniqueTree = TTreeIndex<KT, true>;
template <class KT>
using TNonUniqueTree = TTreeIndex<KT, false>;

}  // namespace

std::unique_ptr<TMemIndex> CreateMemIndex(TMemIndexType kind, TMemAnyType keyType) {
  std::unique_ptr<TMemIndex> ix;
  switch (kind) {
    case mitUnorderedUnique:
      ix = makeByType<THashIndex>(keyType, true);
      break;
    case mitOrderedUnique:
      ix = makeByType<TUniqueTree>(keyType, true);
      break;
    case mitOrderedNonUnique:
      ix = makeByType<TNonUniqueTree>(keyType, true);
      break;
    case mitOrderedUniqueStatic:
    case mitOrderedNonUniqueStatic:
      ix = makeByType<TStaticIndex>(keyType, false);
      break;
    default:
      break;
  }
  if (ix) {
    ix->Kind = kind;
    ix->KeyType = keyType;
  }
  return ix;
}

std::unique_ptr<TMemIndex> CreateMultiFieldIndex(TMemIndexType kind,
                                                 const std::vector<std::pair<TMemAnyType, Integer>>& parts) {
  KMulti kt;
  kt.parts = parts;
  std::unique_ptr<TMemIndex> ix;
  if (kind == mitOrderedUnique)
    ix = std::make_unique<TTreeIndex<KMulti, true>>(std::move(kt));
  else if (kind == mitOrderedNonUnique)
    ix = std::make_unique<TTreeIndex<KMulti, false>>(std::move(kt));
  if (ix) {
    ix->Kind = kind;
    ix->KeyType = mftNone;
  }
  return ix;
}

}  // namespace px
