// The settings screen's dialogs: the weight of a denomination, an other item
// and a new password, filled, changed by the user through the modal hook and
// read back; and the denomination's DisplayName field they edit.
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "app/UnitSetOther.h"
#include "app/UnitSettings.h"
#include "app/UnitSetPassword.h"
#include "app/UnitSetWeight.h"
#include "data/UnitDataSet.h"
#include "data/UnitLocales.h"
#include "platform/core/FormatSettings.h"
#include "ui/framework/UnitTranslation.h"

namespace px {
namespace {

const std::string shipped = std::string(PX_APP_DATA_DIR) + "/";

// The shipped translation table and a locale's number format for one test.
struct Texts {
  TFormatSettings saved = FormatSettings;
  explicit Texts(const char* locale = "en-US") {
    FormatSettings = GetLocaleFormatSettings(locale);
    InitializeTranslations(shipped + "Pondarix7350.lang");
  }
  ~Texts() {
    FinalizeTranslations();
    FormatSettings = saved;
  }
};

// Shows the dialog modally; the user's part runs in the modal hook.
TModalResult showModal(TForm& dialog, const std::function<TModalResult(TForm&)>& user) {
  auto old = SetShowModalHook(user);
  TModalResult r = dialog.ShowModal();
  SetShowModalHook(old);
  return r;
}

TEST(SettingsDialogs, WeightDialogShowsAndTakesADenomination) {
  for (const char* locale : {"en-US", "nl-NL"}) {
    SCOPED_TRACE(locale);
    Texts texts(locale);
    const std::string sep = FormatSettings.DecimalSeparator;
    TForm owner(nullptr);
    TObjectPtr<TfrmGetweight> d(TfrmGetweight::Create(&owner));
    ASSERT_NE(d->edWeight->CaptionLabel(), nullptr);
    EXPECT_EQ(d->edWeight->CaptionLabel()->Caption(), "Weight (g)");
    EXPECT_EQ(d->cbGroupType->Items().Count(), 4);
    EXPECT_EQ(d->cbGroupType->Items()[1], "Roll");
    EXPECT_EQ(d->cbUseDenom->Items()[2], "Never");

    TDenominationWeight in;
    in.Value = 200;
    in.Name = "EUR";
    in.Version = 2;
    in.Weight = 85000;
    in.Status = 1;
    in.DisplayName = "Two";
    in.GroupType = 1;
    in.GroupCount = 25;
    in.PackageWeight = 212500;
    d->Put(in);
    EXPECT_NE(d->lblTitle->Caption().find("2" + sep + "00"), std::string::npos) << d->lblTitle->Caption();
    EXPECT_EQ(d->lblTitle->Caption().substr(d->lblTitle->Caption().size() - 4), " (2)");
    EXPECT_EQ(d->edWeight->Text(), "8" + sep + "5000");
    EXPECT_EQ(d->edPackageWeight->Text(), "21" + sep + "2500");
    EXPECT_EQ(d->edGroupCount->Text(), "25");
    EXPECT_FALSE(d->edGroupCount->Locked());
    EXPECT_TRUE(d->btnOK->Enabled());

    // Typed weights: what is stored, and whether OK may be pressed.
    struct Case {
      std::string typed;
      Integer stored;
      bool ok;
    } cases[] = {
        {"0" + sep + "00001", 0, true},  // below a unit: the official weight
        {"7" + sep + "5", 75000, true},
        {"", 0, true},
        {"214748" + sep + "3647", 2147483647, true},
        {"214748" + sep + "3648", 0, false},  // leaves the stored range
        {"-1", 0, false},
        {"seven", 0, false},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.typed);
      TDenominationWeight out;
      const TModalResult r = showModal(*d, [&](TForm&) {
        d->edWeight->SetText(c.typed);
        return d->btnOK->Enabled() ? mrOk : mrCancel;
      });
      EXPECT_EQ(r == mrOk, c.ok);
      d->Take(out);
      EXPECT_EQ(out.Weight, c.stored);
      EXPECT_EQ(out.GroupCount, std::optional<Integer>(25));
      EXPECT_EQ(out.PackageWeight, 212500);
      EXPECT_EQ(out.Status, 1);
    }
    d->edWeight->SetText("8");
    d->btnclear->Click();
    EXPECT_EQ(d->edWeight->Text(), "");

    // No package: its edits locked, the count gone, but an invalid package
    // weight still keeps OK disabled.
    d->cbGroupType->SetItemIndexChecked(0);
    EXPECT_TRUE(d->edGroupCount->Locked());
    EXPECT_TRUE(d->edPackageWeight->Locked());
    TDenominationWeight out;
    d->Take(out);
    EXPECT_EQ(out.GroupType, 0);
    EXPECT_FALSE(out.GroupCount.has_value());
    d->edPackageWeight->SetText("x");
    EXPECT_FALSE(d->btnOK->Enabled());
    d->edPackageWeight->SetText("");
    EXPECT_TRUE(d->btnOK->Enabled());
  }
}

TEST(SettingsDialogs, OtherItemKindsLockTheValue) {
  Texts texts;
  TForm owner(nullptr);
  TObjectPtr<TfrmSetOther> d(TfrmSetOther::Create(&owner));
  EXPECT_EQ(d->rbCredit->Text(), "Credit");
  EXPECT_FALSE(d->btnOK->Enabled());  // no kind chosen
  struct Case {
    TRadioButton* kind;
    const char* name;
    const char* value;
    bool locked, ok;
  } cases[] = {
      {d->rbFixedValue, "Tips", "12.50", false, true},
      {d->rbFixedValue, "Tips", "", false, false},
      {d->rbFixedValue, "", "12.50", false, false},
      {d->rbFixedValue, "Tips", "21474836.48", false, false},  // leaves the stored range
      {d->rbCredit, "Voucher", "", true, true},
      {d->rbDebit, "Voucher", "x", true, true},
      {d->rbDebit, "", "", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind->Name()) + " '" + c.name + "' '" + c.value + "'");
    showModal(*d, [&](TForm&) {
      c.kind->SetChecked(true);
      d->edDisplayName->SetText(c.name);
      d->edValue->SetText(c.value);
      return mrOk;
    });
    EXPECT_EQ(d->edValue->Locked(), c.locked);
    EXPECT_EQ(d->btnOK->Enabled(), c.ok);
  }

  // An editable fixed value round trip, and the kinds by type.
  TOtherItem item{10, 1250, "Tips"};
  d->Put(item);
  EXPECT_TRUE(d->rbFixedValue->Checked());
  EXPECT_TRUE(d->cbEditbale->Checked());
  EXPECT_EQ(d->edValue->Text(), "12.50");
  TOtherItem out;
  d->Take(out);
  EXPECT_EQ(out.Type, 10);
  EXPECT_EQ(out.Value, 1250);
  EXPECT_EQ(out.DisplayName, "Tips");
  for (auto [type, taken] : {std::pair{3, 3}, std::pair{12, 12}, std::pair{2, 2}}) {
    d->Put(TOtherItem{type, 500, "x"});
    d->Take(out);
    EXPECT_EQ(out.Type, taken) << type;
  }
}

TEST(SettingsDialogs, PasswordTwiceAlike) {
  Texts texts;
  TForm owner(nullptr);
  TObjectPtr<TfrmSetPassword> d(TfrmSetPassword::Create(&owner));
  EXPECT_EQ(d->Caption(), "Change password");
  EXPECT_TRUE(d->btnOK->Enabled());  // two empty entries remove the password
  struct Case {
    const char *first, *second;
    bool ok;
  } cases[] = {{"abc", "", false}, {"abc", "abd", false}, {"abc", "abc", true}, {"", "", true}};
  for (const Case& c : cases) {
    d->edPassword->SetText(c.first);
    d->edNewPassword2->SetText(c.second);
    EXPECT_EQ(d->btnOK->Enabled(), c.ok) << c.first << " / " << c.second;
  }
}

}  // namespace
}  // namespace px

namespace px {
namespace {

// The DisplayName field holds the package weight, a tab and the name; both
// accessors read it in that order, and each writer keeps the other part.
TEST(SettingsDialogs, DisplayNameFieldHoldsWeightThenName) {
  IMemDataSet table = CreateMemDataSetFromSpec("Denominations", "Name:astr;Type:int;Value:int;DisplayName:astr");
  TMemRecord* rec = table->AddRecord();
  struct Case {
    const char* field;
    Integer weight;
    const char* name;
  } cases[] = {
      {"5000\tRoll", 5000, "Roll"}, {"Roll", 0, "Roll"}, {"x\tRoll", 0, "Roll"},
      {"", 0, ""},                  {"5000\t", 5000, ""}, {"1\ta\tb", 1, "a\tb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    rec->SetAnsiStringByName("DisplayName", c.field);
    EXPECT_EQ(PackageWeight(rec), c.weight);
    EXPECT_EQ(DisplayNameText(rec), c.name);
  }
  rec->SetAnsiStringByName("DisplayName", "5000\tRoll");
  SetDisplayNameText(rec, "Bag");
  EXPECT_EQ(rec->GetAnsiStringByName("DisplayName"), "5000\tBag");
  SetPackageWeight(rec, 7);
  EXPECT_EQ(rec->GetAnsiStringByName("DisplayName"), "7\tBag");
  rec->SetAnsiStringByName("DisplayName", "Roll");
  SetPackageWeight(rec, 2500);
  EXPECT_EQ(PackageWeight(rec), 2500);
  EXPECT_EQ(DisplayNameText(rec), "Roll");
}

}  // namespace
}  // namespace px
