#pragma once
// TPDFWriter: the document the producer fills with objects and serialises,
// as PDF 1.3 with a classic cross-reference table or as PDF 1.5 with object
// streams and a compressed cross-reference stream.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/UnitPDFParser.h"

namespace px {

class TPDFWriter : public TPDFCollection {
 public:
  TPDFWriter();
  ~TPDFWriter() override;

  // Appends an object (taken over) and returns its number.
  int32_t AddObject(std::unique_ptr<TPDFObject> object);
  // Takes the next number now and leaves null in its place until SetObject
  // fills it: a copy of objects that refer to each other needs the number of
  // an object before the object itself is complete.
  int32_t ReserveObject();
  // Replaces the object of a number already given out.
  void SetObject(int32_t number, std::unique_ptr<TPDFObject> object);
  // Drops every object from number on (nothing when number is past the
  // end): what a failed copy added before anything else was added.
  void DropObjectsFrom(int32_t number);

  // Raises Exception "TPDFWriter.Objects[]: Index out of range" for anything
  // but numbers 1..count with generation 0.
  TPDFObject* GetIndirectObj(int32_t number, int32_t generation) override;
  int32_t GetPageCount() override;
  TPDFDictionary* GetTrailer() override { return trailer_.get(); }
  int32_t GetObjectCount() override { return static_cast<int32_t>(objects_.size()); }
  void SaveToStream(TStream& stream) override;
  TPDFDictionary* GetPage(int32_t) override { return nullptr; }
  int32_t IndexOfPage(const TPDFDictionary*) override { return -1; }
  void FindObjectNumber(const TPDFObject* object, int32_t& number, int32_t& generation) override;
  void GetObjectNumberByIndex(int32_t index, int32_t& number, int32_t& generation) override;

  // Two blocks of 16 bytes.
  void SetDocumentID(const std::string& id1, const std::string& id2);
  // The first ID string; two new GUIDs are set when the trailer has no ID.
  std::string GetDocumentID();
  void SetEncryption(const std::string& ownerPassword, const std::string& userPassword, int32_t permissions,
                     uint8_t kind);
  // 0 nothing, 1 the XMP metadata packet built from the Info dictionary.
  // Modes 2 and 3 (PDF/A-1a and -1b identification) are refused: the
  // documents written do not meet PDF/A-1.
  void AddMetadata(uint8_t mode);
  void WriteObject(int32_t number, int32_t generation, TStream& stream, TPDFCrypto* handler, TPDFObject& object);

  // 0 PDF 1.3 with a cross-reference table, 1 PDF 1.5 with a cross-reference
  // stream; any other value writes nothing.
  uint8_t OutputFormat = 0;
  // Option bits for the producer and the font collection.
  uint8_t Options = 0;

 private:
  // A protected save's handler and Encrypt dictionary (both nil when the
  // document is saved unprotected).
  struct Encryption;
  // Sets the document ID and, for a protected save, makes the handler and
  // the Encrypt dictionary, which the trailer refers to as dictionaryNumber.
  Encryption startEncryption(int32_t dictionaryNumber);
  void encodeLargeStreams();
  void saveClassic(TStream& stream);
  void saveCompressed(TStream& stream);

  std::unique_ptr<TPDFDictionary> trailer_;
  std::vector<std::unique_ptr<TPDFObject>> objects_;
  uint8_t encryptionKind_ = 0;
  std::string ownerPassword_, userPassword_;
  int32_t permissions_ = 0;
};

}  // namespace px
