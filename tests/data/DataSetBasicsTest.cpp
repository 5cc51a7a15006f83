#include <gtest/gtest.h>

#include "data/UnitDataSet.h"

namespace px {
namespace {

TEST(DataSet, Smoke) {
  IMemDataSet t = CreateMemDataSetFromSpec("T", "Name:astr#Char:word");
  TMemRecord* r = t->AddRecord();
  r->SetAnsiString(0, "abc");
  EXPECT_EQ(t->FindAnsiString(0, "abc"), r);
}

}  // namespace
}  // namespace px
