#pragma once
// The in-memory form of PDF values: one class per object kind under
// TPDFObject, and the abstract document TPDFCollection from which the reader
// and the writer derive. Containers own their children.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"
#include "platform/core/Types.h"

namespace px {

using TPDFBuffer = std::vector<uint8_t>;
using TPDFIntArray = std::vector<int32_t>;

PX_DECLARE_EXCEPTION(EPDFException, Exception);

class TPDFCollection;
class TPDFCrypto;
class TPDFLinker;
class TPDFReference;

// Something a consumer hangs on an array or a dictionary (a parsed colour
// space, function or embedded font); owned by the object it hangs on.
class TPDFAttachedObject {
 public:
  virtual ~TPDFAttachedObject() = default;
};

// Identifies a class for the typed lookups (GetObject<TPDFDictionary>...).
struct TPDFClassRef {
  const char* Name;
  bool (*IsInstance)(const class TPDFObject* object);
};

class TPDFObject {
 public:
  TPDFObject() = default;
  TPDFObject(const TPDFObject&) = delete;
  TPDFObject& operator=(const TPDFObject&) = delete;
  virtual ~TPDFObject() = default;

  // Writes the object in PDF syntax followed by exactly one separator byte,
  // which a container may step back over and overwrite.
  virtual void WriteTo(TStream& stream, TPDFCollection* collection) const = 0;
  virtual std::unique_ptr<TPDFObject> Clone(TPDFLinker& linker) const = 0;
  virtual void AsHTML(std::string& text) const = 0;
  virtual void Encrypt(int32_t number, int32_t generation, TPDFCrypto* handler);
  virtual void Decrypt(int32_t number, int32_t generation, TPDFCrypto* handler);
  virtual bool CanStoreInObjectStream() const { return true; }
  virtual void AfterSave(TStream& stream);
  virtual const char* ClassName() const = 0;

  std::string AsHTML() const {
    std::string text;
    AsHTML(text);
    return text;
  }
};

template <class T>
const TPDFClassRef* PDFClassOf() {
  static const TPDFClassRef ref{T::StaticClassName,
                                [](const TPDFObject* object) { return dynamic_cast<const T*>(object) != nullptr; }};
  return &ref;
}

// The class a typed lookup expects: nil for TPDFObject, which takes any.
template <class T>
const TPDFClassRef* PDFExpectedClassOf() {
  if constexpr (std::is_same_v<T, TPDFObject>) return nullptr;
  else return PDFClassOf<T>();
}

#define PX_PDF_CLASS(Name)                                        \
 public:                                                          \
  static constexpr const char* StaticClassName = #Name;           \
  const char* ClassName() const override { return StaticClassName; }

class TPDFBoolean : public TPDFObject {
  PX_PDF_CLASS(TPDFBoolean)
 public:
  explicit TPDFBoolean(bool value) : Value(value) {}
  void WriteTo(TStream& stream, TPDFCollection* collection) const override;
  std::unique_ptr<TPDFObject> Clone(TPDFLinker& linker) const override;
  void AsHTML(std::string& text) const override;
  using TPDFObject::AsHTML;
  bool Value;
};

class TPDFNumeric : public TPDFObject {
 public:
  static constexpr const char* StaticClassName = "TPDFNumeric";
  virtual long double AsFloat() const = 0;
  // AsFloat rounded to the nearest integer, ties to even.
  int32_t AsInteger() const;
};

class TPDFInteger : public TPDFNumeric {
  PX_PDF_CLASS(TPDFInteger)
 public:
  explicit TPDFInteger(int32_t value) : Value(value) {}
  void WriteTo(TStream& stream, TPDFCollection* collection) const override;
  std::unique_ptr<TPDFObject> Clone(TPDFLinker& linker) const override;
  void AsHTML(std::string& text) const override;
  using TPDFObject::AsHTML;
  long double AsFloat() const override { return Value; }
  int32_t Value;
};

class TPDFReal : public TPDFNumeric {
  PX_PDF_CLASS(TPDFReal)
 public:
  explicit TPDFReal(float value) : Value(value) {}
  void WriteTo(TStream& stream, TPDFCollection* collection) const override;
  std::unique_ptr<TPDFObject> Clone(TPDFLinker& linker) const override;
  void AsHTML(std::string& text) const override;
  using TPDFObject::AsHTML;
  long double AsFloat() const override { return Value; }
  void SetValue(float value) { Value = value; }
  float Value;
};

class TPDFReference : public TPDFObject {
  PX_PDF_CLASS(TPDFReference)
 public:
  TPDFReference(int32_t number, int32_t generation) : Number(number), Generation(generation) {}
  void WriteTo(TStream& stream, TPDFCollection* collection) const override;
  std::unique_ptr<TPDFObject> Clone(TPDFLinker& linker) const override;
  void AsHTML(std::string& text) const override;
  using TPDFObject::AsHTML;
  int32_t Number;
  int32_t Generation;
};

class TPDFString : public TPDFObject {
  PX_PDF_CLASS(TPDFString)
 public:
  // The raw bytes.
  explicit TPDFString(std::string data) : Data(std::move(data)) {}
  // A text: Windows-1252 when every character is below 256, otherwise the
  // bytes FE FF and the UTF-16 code units high byte first.
  explicit TPDFString(std::u16string_view text);
  void WriteTo(TStream& stream, TPDFCollection* collection) const override;
  std::unique_ptr<TPDFObject> Clone(TPDFLinker& linker) const override;
  void AsHTML(std::string& text) const override;
  using TPDFObject::AsHTML;
  void Encrypt(int32_t number, int32_t generation, TPDFCrypto* handler) override;
  void Decrypt(int32_t number, int32_t generation, TPDFCrypto* handler) override;
  // UTF-16 big-endian after FE FF, PDFDocEncoding otherwise.
  UnicodeString AsUnicode() const;
  std::string Data;
};

class TPDFDateTime : public TPDFString {
  PX_PDF_CLASS(TPDFDateTime)
 public:
  // A local date and time; Bias is taken from the system's time zone.
  explicit TPDFDateTime(TDateTime value);
  // The same with an explicit Bias (minutes, UTC minus local time).
  TPDFDateTime(TDateTime value, int32_t bias);
  Word Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  int32_t Bias = 0;
};

class TPDFHexString : public TPDFString {
  PX_PDF_CLASS(TPDFHexString)
 public:
  explicit TPDFHexString(std::string data) : TPDFString(std::move(data)) {}
  void WriteTo(TStream& stream, TPDFCollection* collection) const override;
  std::unique_ptr<TPDFObject> Clone(TPDFLinker& linker) const override;
  void AsHTML(std::string& text) const override;
  using TPDFObject::AsHTML;
};

class TPDFName : public TPDFObject {
  PX_PDF_CLASS(TPDFName)
 public:
  explicit TPDFName(std::string name) : Name(std::move(name)) {}
  void WriteTo(TStream& stream, TPDFCollection* collection) const override;
  std::unique_ptr<TPDFObject> Clone(TPDFLinker& linker) const override;
  void AsHTML(std::string& text) const override;
  using TPDFObject::AsHTML;
  std::string Name;
};

class TPDFNull : public TPDFObject {
  PX_PDF_CLASS(TPDFNull)
 public:
  TPDFNull() = default;
  void WriteTo(TStream& stream, TPDFCollection* collection) const override;
  std::unique_ptr<TPDFObject> Clone(TPDFLinker& linker) const override;
  void AsHTML(std::string& text) const override;
  using TPDFObject::AsHTML;
};

class TPDFCommand : public TPDFObject {
  PX_PDF_CLASS(TPDFCommand)
 public:
  explicit TPDFCommand(std::string text) : Text(std::move(text)) {}
  void WriteTo(TStream& stream, TPDFCollection* collection) const override;
  std::unique_ptr<TPDFObject> Clone(TPDFLinker& linker) const override;
  void AsHTML(std::string& text) const override;
  using TPDFObject::AsHTML;
  std::string Text;
};

class TPDFDictionary;

class TPDFArray : public TPDFObject {
  PX_PDF_CLASS(TPDFArray)
 public:
  TPDFArray() = default;
  // An array of mixed values: integers, Booleans, floating-point values,
  // texts (up to their first NUL byte) and objects, which are taken over.
  template <class... Args>
  static std::unique_ptr<TPDFArray> Of(Args&&... args) {
    auto array = std::make_unique<TPDFArray>();
    (array->addValue(std::forward<Args>(args)), ...);
    return array;
  }

  void WriteTo(TStream& stream, TPDFCollection* collection) const override;
  std::unique_ptr<TPDFObject> Clone(TPDFLinker& linker) const override;
  void AsHTML(std::string& text) const override;
  using TPDFObject::AsHTML;
  void Encrypt(int32_t number, int32_t generation, TPDFCrypto* handler) override;
  void Decrypt(int32_t number, int32_t generation, TPDFCrypto* handler) override;

  void Add(std::unique_ptr<TPDFObject> object);
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Raises ERangeError "PDFArray: Out of range" outside 0..Count-1.
  TPDFObject* GetItem(int32_t index) const;

  // The item with one reference resolved; nil when missing. A value of
  // another class than T fails "object is of unexpected type".
  template <class T = TPDFObject>
  T* GetObject(TPDFCollection* collection, int32_t index) const {
    return static_cast<T*>(getObject(collection, index, PDFExpectedClassOf<T>()));
  }
  template <class T = TPDFObject>
  T* GetRequiredObject(TPDFCollection* collection, int32_t index) const {
    return static_cast<T*>(getRequiredObject(collection, index, PDFExpectedClassOf<T>()));
  }
  TPDFDictionary* GetDictionary(TPDFCollection* collection, int32_t index, std::string_view typeName = {}) const;
  TPDFDictionary* GetRequiredDictionary(TPDFCollection* collection, int32_t index,
                                        std::string_view typeName = {}) const;
  TPDFName* FindName(std::string_view text) const;
  void GetIntArray(TPDFCollection* collection, TPDFIntArray& values) const;
  void Clear() { items_.clear(); }

  std::unique_ptr<TPDFAttachedObject> AttachedObject;

 private:
  TPDFObject* getObject(TPDFCollection* collection, int32_t index, const TPDFClassRef* expected) const;
  TPDFObject* getRequiredObject(TPDFCollection* collection, int32_t index, const TPDFClassRef* expected) const;

  template <class V>
  void addValue(V&& value) {
    using D = std::decay_t<V>;
    if constexpr (std::is_same_v<D, bool>) {
      Add(std::make_unique<TPDFBoolean>(value));
    } else if constexpr (std::is_same_v<D, char> || std::is_same_v<D, char16_t> || std::is_same_v<D, wchar_t> ||
                         std::is_same_v<D, signed char> || std::is_same_v<D, unsigned char>) {
      static_assert(sizeof(D) == 0, "TPDFArray.Create: unsuppported element type.");
    } else if constexpr (std::is_integral_v<D>) {
      Add(std::make_unique<TPDFInteger>(static_cast<int32_t>(value)));
    } else if constexpr (std::is_floating_point_v<D>) {
      Add(std::make_unique<TPDFReal>(static_cast<float>(value)));
    } else if constexpr (std::is_convertible_v<V, std::string_view>) {
      std::string_view text(value);
      Add(std::make_unique<TPDFString>(std::string(text.substr(0, text.find('\0')))));
    } else {
      Add(std::unique_ptr<TPDFObject>(std::move(value)));
    }
  }

  std::vector<std::unique_ptr<TPDFObject>> items_;
};

class TPDFDictionary : public TPDFObject {
  PX_PDF_CLASS(TPDFDictionary)
 public:
  TPDFDictionary() = default;
  // With the entry "Type" naming the given type.
  explicit TPDFDictionary(std::string_view typeName);
  // With decoded stream data (StreamState 2).
  explicit TPDFDictionary(TPDFBuffer streamData);
  static std::unique_ptr<TPDFDictionary> FromStreamData(std::string_view bytes);

  void WriteTo(TStream& stream, TPDFCollection* collection) const override;
  std::unique_ptr<TPDFObject> Clone(TPDFLinker& linker) const override;
  void AsHTML(std::string& text) const override;
  using TPDFObject::AsHTML;
  void Encrypt(int32_t number, int32_t generation, TPDFCrypto* handler) override;
  void Decrypt(int32_t number, int32_t generation, TPDFCrypto* handler) override;
  bool CanStoreInObjectStream() const override { return streamState_ == 0; }

  // Appends an entry; an existing entry with the same key is not replaced.
  void Add(std::string key, std::unique_ptr<TPDFObject> value);
  int32_t Count() const { return static_cast<int32_t>(keys_.size()); }
  // Raise ERangeError "PDFDictionary: index out of range" outside 0..Count-1.
  const std::string& GetKey(int32_t index) const;
  TPDFObject* GetValue(int32_t index) const;
  TPDFObject* Find(std::string_view key) const;
  int32_t IndexOf(std::string_view key) const;

  // The value with references resolved; nil when the key is missing.
  template <class T = TPDFObject>
  T* GetObject(TPDFCollection* collection, std::string_view key) const {
    return static_cast<T*>(getObject(collection, key, PDFExpectedClassOf<T>()));
  }
  template <class T = TPDFObject>
  T* GetRequiredObject(TPDFCollection* collection, std::string_view key) const {
    return static_cast<T*>(getRequiredObject(collection, key, PDFExpectedClassOf<T>()));
  }
  TPDFDictionary* GetDictionary(TPDFCollection* collection, std::string_view key,
                                std::string_view typeName = {}) const;
  TPDFDictionary* GetRequiredDictionary(TPDFCollection* collection, std::string_view key,
                                        std::string_view typeName = {}) const;
  int32_t GetInteger(TPDFCollection* collection, std::string_view key, int32_t defaultValue) const;
  // The name's text, or defaultValue when the key is missing.
  std::string GetName(TPDFCollection* collection, std::string_view key, std::string_view defaultValue = {}) const;

  // 0 no stream, 1 data as stored in a file (encoded), 2 decoded data.
  uint8_t StreamState() const { return streamState_; }
  const TPDFBuffer& StreamData() const { return streamData_; }
  void SetStreamData(uint8_t state, TPDFBuffer data);
  // Decodes (1 to 2) or encodes (2 to 1) the stream through its Filter.
  void SetStreamState(uint8_t state, TPDFCollection* collection);
  // Reads an inline image's data at position (the first data byte); returns
  // whether the end marker "EI" was found.
  bool LoadInlineStream(const TPDFBuffer& data, int32_t& position);

  std::unique_ptr<TPDFAttachedObject> AttachedObject;

 private:
  TPDFObject* getObject(TPDFCollection* collection, std::string_view key, const TPDFClassRef* expected) const;
  TPDFObject* getRequiredObject(TPDFCollection* collection, std::string_view key,
                                const TPDFClassRef* expected) const;
  void decodeStream(TPDFCollection* collection);
  void encodeStream(TPDFCollection* collection);
  void setLength(int32_t length);

  std::vector<std::string> keys_;
  std::vector<std::unique_ptr<TPDFObject>> values_;
  TPDFBuffer streamData_;
  uint8_t streamState_ = 0;
};

// Maps a reference of another document to the number of the same object in
// the target document.
class TPDFLinker {
 public:
  virtual ~TPDFLinker() = default;
  virtual int32_t MapReference(const TPDFReference& reference) = 0;
};

// A stream over a TPDFBuffer held elsewhere.
class TPDFBufferStream : public TStream {
 public:
  explicit TPDFBufferStream(TPDFBuffer& buffer) : buffer_(buffer) {}
  Int64 Read(void* buffer, Int64 count) override;
  Int64 Write(const void* buffer, Int64 count) override;
  Int64 Seek(Int64 offset, TSeekOrigin origin) override;
  Int64 Size() override { return static_cast<Int64>(buffer_.size()); }
  void SetSize(Int64 newSize) override;

 private:
  TPDFBuffer& buffer_;
  Int64 position_ = 0;
};

// A page box: the array items 1, 0, 3, 2 in this order.
struct TPDFBox {
  float Bottom = 0, Left = 0, Top = 0, Right = 0;
};

// The abstract document.
class TPDFCollection {
 public:
  TPDFCollection() = default;
  TPDFCollection(const TPDFCollection&) = delete;
  TPDFCollection& operator=(const TPDFCollection&) = delete;
  virtual ~TPDFCollection() = default;

  virtual TPDFObject* GetIndirectObj(int32_t number, int32_t generation) = 0;
  virtual int32_t GetPageCount() = 0;
  virtual TPDFDictionary* GetTrailer() = 0;
  virtual int32_t GetObjectCount() = 0;
  virtual void SaveToStream(TStream& stream) = 0;
  virtual TPDFDictionary* GetPage(int32_t index) = 0;
  virtual int32_t IndexOfPage(const TPDFDictionary* page) = 0;
  virtual void FindObjectNumber(const TPDFObject* object, int32_t& number, int32_t& generation) = 0;
  virtual void GetObjectNumberByIndex(int32_t index, int32_t& number, int32_t& generation) = 0;

  // The trailer's Root as a required dictionary of type Catalog.
  TPDFDictionary* GetCatalog();
  // The referenced object; when a class is expected and the object (nil
  // included) is not of it, fails "Object of wrong type <reference>".
  TPDFObject* ResolveReference(const TPDFReference& reference, const TPDFClassRef* expected = nullptr);
  // Soft problems of a document go to the debugger output.
  virtual void Warning(std::string_view text);

  // Page attributes inherited along the Parent chain (pages counted from
  // 1); each returns whether a value was found.
  bool GetMediaBox(int32_t pageIndex, TPDFBox& box);
  bool GetCropBox(int32_t pageIndex, TPDFBox& box);
  bool GetRotate(int32_t pageIndex, int32_t& rotate);
};

// The object's WriteTo output as text.
std::string AsPDFText(const TPDFObject& object);
// Text of a real number with "." as decimal separator.
std::string FormatReal(long double value);

}  // namespace px
