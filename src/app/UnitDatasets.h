#pragma once
// The three dataset files that describe currencies and denominations, kept
// as record-store tables for the whole run and offered to the screens as the
// service IVantorelDataSets.
#include <array>
#include <string>

#include "data/UnitDataSet.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px {

class IVantorelDataSets : public virtual IInterface {
 public:
  static inline const TGUID IID = TGUID::FromString("{7FCDB9F9-53ED-4D42-BD65-6A05F60DFEC9}");
  virtual void GetDataSet(Integer index, IMemDataSet& dataSet) = 0;
  virtual void LoadAll() = 0;
  virtual void Load(Integer index) = 0;
  virtual void Save(Integer index) = 0;
};

class TVantorelDataSets : public IVantorelDataSets {
 public:
  // 0 denominations, 1 currencies (both saveable), 2 the official weights
  // (enciphered, read-only).
  static constexpr Integer Count = 3;
  static constexpr const char* FileNames[Count] = {"Denominations.dat", "Currencies.dat", "Official.dat"};

  // Loads all three files from folder (ending with "/", or empty for the
  // bare names).
  explicit TVantorelDataSets(std::string folder);

  // The table now held under index (shared: changes are seen by every user).
  void GetDataSet(Integer index, IMemDataSet& dataSet) override;
  void LoadAll() override;
  // Reads a new table from the file and replaces the held one, dropping
  // unsaved changes. A missing or unreadable file raises its open or read
  // error and keeps the held table.
  void Load(Integer index) override;
  // Index 0 or 1: replaces the file atomically with the held table, plain.
  // Any other index is a programming error (EAssertionFailed).
  void Save(Integer index) override;

  std::string FileName(Integer index) const;
  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_;
  std::array<IMemDataSet, Count> tables_;
};

// Makes the per-user data folder (when the settings name none) with the
// shipped files copied in, loads the files and registers the service.
// shippedFolder holds the files delivered with the program.
void InitializeDataSets(const std::string& shippedFolder);
void FinalizeDataSets();

}  // namespace px
