#pragma once
// The settings screen, opened at start: the currencies and their
// denominations from the dataset files, programming three currencies into
// the scale and reading their weights back, the language and the general
// settings. It follows the scale's connection as a device listener.
#include <array>
#include <string>
#include <vector>

#include "data/UnitDataSet.h"
#include "data/UnitDataView.h"
#include "device/UnitVantorel7350.h"
#include "platform/gui/ActnList.h"
#include "platform/gui/ExtCtrls.h"
#include "platform/gui/ImgList.h"
#include "platform/gui/StdCtrls.h"
#include "ui/framework/QVRControls.h"
#include "ui/framework/UnitQVREdit.h"
#include "ui/framework/UnitQVRSystem.h"
#include "ui/tree/UnitDataSetList.h"

namespace px {

class TfraSettings : public TQVRFrame, public IDeviceListener {
 public:
  static constexpr Integer FrameNumber = 3;
  // The registry list values of the three grids' column layouts.
  static constexpr Integer CurrenciesLayout = 31, DenominationsLayout = 32, OthersLayout = 33;

  explicit TfraSettings(TComponent* owner);
  void AfterConstruction() override;
  void BeforeDestruction() override;

  // IDeviceListener
  void DeviceStatusChanged(bool connected, bool audible) override;
  void DeviceActivity() override {}

  void FillCurrencyCombos();
  void SetUpdateButton();
  // Writes the denominations of Code into the scale's table at Position and
  // reports in edExplain.
  void ProgramCurrency(Integer position, const std::string& code);
  // Appends ", " (unless empty) and the slot's description to list.
  static void DescribeSlot(std::string& list, Integer value, Integer slotType);
  // Takes one slot read from the scale into the matching denominations.
  void ApplyScaleSlot(const TVantorelResult& result, Integer slot);
  // The official weight of a denomination's issue (place 1 for versions 0
  // and 1); 0 when there is none.
  Integer OfficialWeight(const std::string& code, Integer type, Integer value, Integer version) const;

  void acDenomEditExecute(TObject* sender);
  void acLogoFileOpenExecute(TObject* sender);
  void acOtherAddExecute(TObject* sender);
  void acOtherDeleteExecute(TObject* sender);
  void acOtherEditExecute(TObject* sender);
  void btnChangeCurrencyClick(TObject* sender);
  void btnChangepasswordClick(TObject* sender);
  void btnDownloadWeightsClick(TObject* sender);
  void btnSaveDenomClick(TObject* sender);
  void btnSaveSettingsClick(TObject* sender);
  void cbOnlyOfficialClick(TObject* sender);
  void rgDeviceClick(TObject* sender);

  // The currency whose denominations are shown; empty when none.
  const std::string& CurrentCurrency() const { return currentCurrency_; }
  // The translation file's sections, in the order of rgLanguage's items.
  const std::vector<std::string>& LanguageCodes() const { return languageCodes_; }
  const IMemDataSet& Denominations() const { return denominations_; }
  const IMemDataSet& Currencies() const { return currencies_; }

  TQVRPanel* pnlMain;
  TPanel* pnlTop;
  TRadioGroup* rgLanguage;
  TRadioGroup* rgDevice;
  TGroupBox* gbGenericSettings;
  TQVREdit* edCompanyName;
  TQVREdit* edCompanyLogo;
  TCheckBox* cbUserMust;
  TCheckBox* cbDrawerMust;
  TQVREdit* edInitialCash;
  TButton* btnSaveSettings;
  TButton* btnChangepassword;
  TGroupBox* gbCurrency;
  TPanel* pnlCurrencyChoice;
  TQVRComboBox* cbCurrency1;
  TQVRComboBox* cbCurrency2;
  TQVRComboBox* cbCurrency3;
  TCheckBox* cbDefault;
  TButton* btnChangeCurrency;
  TRichEdit* edExplain;
  TGroupBox* gbDenominations;
  TPanel* pnlDenomButtons;
  TPanel* pnlCurrencyColumn;
  TQVRPanel* pnlCurrencies;
  TQVRPanel* pnlDenominations;
  TQVRPanel* pnlOthers;
  TButton* btnDownloadWeights;
  TButton* btnSaveDenom;
  TCheckBox* cbOnlyOfficial;
  TImageList* ilDenomType;
  TActionList* alSettings;
  TAction* acDenomEdit;
  TAction* acOtherAdd;
  TAction* acOtherDelete;
  TAction* acOtherEdit;
  TAction* acLogoFileOpen;
  TDataSetList* lstCurrencies = nullptr;
  TDataSetList* lstDenominations = nullptr;
  TDataSetList* lstOthers = nullptr;

 private:
  void createGrids();
  void fillLanguages();
  void showCurrency(TMemRecord* currency);
  void editDenomination(TMemRecord* rec);
  void editOther(TMemRecord* rec);
  // A denomination record of the current currency's coins and banknotes
  // (type 0 or 1) whose weight the scale can use: its own or the official.
  bool hasAnyWeight(TMemRecord* rec) const;
  bool hasOfficialWeight(TMemRecord* rec) const;
  bool currencyPasses(const std::string& code, bool ownWeightCounts) const;
  std::string comboCode(TQVRComboBox* combo) const;
  void explain(const std::string& line);
  // Selects in each combo the code the scale reported for its position.
  void selectScaleCodes();

  IMemDataSet denominations_, currencies_, official_;
  IMemDataView currencyView_, denominationView_, otherView_;
  std::string currentCurrency_;
  // Set while the scale restarts after an update: its return keeps the
  // update's report in edExplain.
  bool keepExplain_ = false;
  // The currency codes the scale reported at its last connection (empty
  // where it reported none).
  std::array<std::string, 3> scaleCodes_;
  std::vector<std::string> languageCodes_;
  // Field numbers in the denominations table.
  Integer fType_ = 1, fValue_ = 2, fWeight_ = 3, fStatus_ = 4, fDisplayName_ = 5, fGroupType_ = 6, fGroupCount_ = 7;
};

void InitializeSettingsFrame();
void FinalizeSettingsFrame();

}  // namespace px
