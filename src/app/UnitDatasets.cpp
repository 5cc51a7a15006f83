#include "app/UnitDatasets.h"

#include <sys/stat.h>

#include <filesystem>

#include "app/UnitSettings.h"
#include "data/UnitDataSetIOOld.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"

namespace px {

namespace {

std::shared_ptr<TVantorelDataSets> service;

void checkIndex(Integer index) {
  if (index < 0 || index >= TVantorelDataSets::Count) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

// Copies a shipped file into the data folder unless one is there already;
// the copy appears whole or not at all (a full disk leaves nothing behind
// and is reported with the file's name).
void copyShipped(const std::string& from, const std::string& to) {
  std::error_code ec;
  if (std::filesystem::exists(to, ec)) return;
  TFileStream in(from, fmOpenRead | fmShareDenyWrite);
  SaveFileAtomically(to, [&](TStream& out) { out.CopyFrom(in, 0); });
}

}  // namespace

TVantorelDataSets::TVantorelDataSets(std::string folder) : folder_(std::move(folder)) { LoadAll(); }

std::string TVantorelDataSets::FileName(Integer index) const {
  checkIndex(index);
  return folder_ + FileNames[index];
}

void TVantorelDataSets::GetDataSet(Integer index, IMemDataSet& dataSet) {
  checkIndex(index);
  dataSet = tables_[index];
}

void TVantorelDataSets::LoadAll() {
  for (Integer i = 0; i < Count; ++i) Load(i);
}

void TVantorelDataSets::Load(Integer index) {
  IMemDataSet table;
  const std::string file = FileName(index);
  try {
    LoadDataSetFromFile(file, index == 2 ? OfficialDataPassword : "", table);
  } catch (Exception& e) {
    // The reader's message ("Stream read error") does not say which of the
    // three files is damaged; at start-up it is all the user gets.
    if (e.Message().find(file) == std::string::npos) e.SetMessage(file + ": " + e.Message());
    throw;
  }
  tables_[index] = table;
}

void TVantorelDataSets::Save(Integer index) {
  Assert(index == 0 || index == 1, "Internal error: dataset not saveable!");
  SaveDataSetToFile(FileName(index), tables_[index], "");
}

void InitializeDataSets(const std::string& shippedFolder) {
  if (service) return;
  std::string folder = Settings ? Settings->Datasets : std::string();
  if (folder.empty()) {
    // No folder chosen: the per-user data folder, filled from the shipped
    // files; files already there (maybe changed by the user) stay.
    folder = UserDataFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) throw EFCreateError("Cannot create folder \"" + folder + "\": " + ec.message());
    ::chmod(folder.c_str(), 0700);
    for (const char* name : TVantorelDataSets::FileNames) copyShipped(shippedFolder + name, folder + name);
  }
  auto sets = std::make_shared<TVantorelDataSets>(folder);
  QVRSystem->RegisterService(IVantorelDataSets::IID, "", sets);
  service = sets;
}

void FinalizeDataSets() {
  if (!service) return;
  if (QVRSystem) QVRSystem->UnregisterService(IVantorelDataSets::IID, "");
  service.reset();
}

}  // namespace px
