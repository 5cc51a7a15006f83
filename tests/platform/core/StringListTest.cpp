#include <gtest/gtest.h>

#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"
#include "platform/core/StringList.h"
#include "support/TempDir.h"

using namespace px;
using px::test::ReadFileBytes;
using px::test::TempDir;
using px::test::WriteFileBytes;

namespace {

std::vector<std::string> items(const TStrings& list) {
  std::vector<std::string> result;
  for (Integer i = 0; i < list.Count(); ++i) result.push_back(list[i]);
  return result;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(StringList, SortedDuplicatesAndFind) {
  TStringList list;
  list.Add("pear");
  list.Add("Apple");
  list.Add("banana");
  list.SetSorted(true);
  EXPECT_EQ(items(list), (Lines{"Apple", "banana", "pear"}));

  // dupIgnore: an equal string (ignoring case) is not added; its index comes back.
  EXPECT_EQ(list.Add("APPLE"), 0);
  EXPECT_EQ(list.Count(), 3);
  Integer index = -1;
  EXPECT_TRUE(list.Find("BANANA", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.Find("cherry", index));
  EXPECT_EQ(index, 2);  // where it would go
  EXPECT_EQ(list.IndexOf("Pear"), 2);
  EXPECT_EQ(list.IndexOf("cherry"), -1);

  list.Duplicates = dupError;
  try {
    list.Add("Pear");
    FAIL() << "duplicate accepted";
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "String list does not allow duplicates");
  }
  EXPECT_EQ(list.Count(), 3);

  // dupAccept: Find lands on the first of the equal strings.
  list.Duplicates = dupAccept;
  list.Add("apple");
  list.Add("APPLE");
  EXPECT_EQ(list.Count(), 5);
  EXPECT_TRUE(list.Find("Apple", index));
  EXPECT_EQ(index, 0);
  EXPECT_EQ(list.Add("zebra"), 5);

  try {
    list.Insert(0, "x");
    FAIL() << "insert into a sorted list";
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "Operation not allowed on sorted list");
  }
}

TEST(StringList, CaseSensitivityAndBounds) {
  TStringList list;
  list.Add("Straße");
  list.Add("alpha");
  EXPECT_EQ(list.IndexOf("ALPHA"), 1);
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("ALPHA"), -1);
  EXPECT_EQ(list.IndexOf("alpha"), 1);

  for (Integer bad : {-1, 2}) {
    try {
      list.Get(bad);
      FAIL() << bad;
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.Message(), "List index out of bounds (" + std::to_string(bad) + ")");
    }
  }
  EXPECT_THROW(list.Delete(2), EStringListError);
  EXPECT_THROW(list.Insert(3, "x"), EStringListError);
  list.Insert(2, "appended");
  EXPECT_EQ(list[2], "appended");
}

TEST(StringList, ObjectsFollowTheirStrings) {
  int one = 1, two = 2, three = 3;
  TStringList list;
  list.AddObject("ccc", &three);
  list.AddObject("a", &one);
  list.AddObject("bb", &two);
  list.CustomSort([](TStringList& l, Integer a, Integer b) {
    return static_cast<int>(l[a].size()) - static_cast<int>(l[b].size());
  });
  EXPECT_EQ(items(list), (Lines{"a", "bb", "ccc"}));
  EXPECT_EQ(list.Objects(0), &one);
  EXPECT_EQ(list.Objects(2), &three);
  EXPECT_EQ(list.IndexOfObject(&two), 1);

  TStringList copy;
  copy.Assign(&list);
  EXPECT_EQ(items(copy), items(list));
  EXPECT_EQ(copy.Objects(1), &two);
}

TEST(StringList, CommaTextRoundTrip) {
  struct Case {
    Lines lines;
    std::string text;
  } cases[] = {
      {{"a", "b c", "say \"hi\"", ""}, R"(a,"b c","say ""hi""",)"},
      {{""}, R"("")"},
      {{}, ""},
      {{"x,y", "tab\there"}, "\"x,y\",\"tab\there\""},
      {{"", "a"}, ",a"},
  };
  for (const auto& c : cases) {
    TStringList list;
    for (const auto& s : c.lines) list.Add(s);
    EXPECT_EQ(list.CommaText(), c.text);
    TStringList back;
    back.SetCommaText(c.text);
    EXPECT_EQ(items(back), c.lines) << c.text;
  }

  struct Parse {
    std::string text;
    Lines lines;
  } parses[] = {
      {"  a , b ,\"c d\"  ", {"a", "b", "c d"}},
      {"a b", {"a", "b"}},  // blanks separate too
      {"a,,b", {"a", "", "b"}},
      {"\"open", {"open"}},
      {"\"q\"x", {"q", "x"}},
  };
  for (const auto& p : parses) {
    TStringList list;
    list.SetCommaText(p.text);
    EXPECT_EQ(items(list), p.lines) << p.text;
  }

  TStringList strict;
  strict.Delimiter = ';';
  strict.QuoteChar = '\'';
  strict.StrictDelimiter = true;
  strict.SetDelimitedText(" a b ;c;'d;e'");
  EXPECT_EQ(items(strict), (Lines{" a b ", "c", "d;e"}));
  EXPECT_EQ(strict.DelimitedText(), " a b ;c;'d;e'");
}

TEST(StringList, NamesAndValues) {
  TStringList list;
  list.SetText("user=sysdba\nexpr=a=b\nflag\n=empty name\n");
  EXPECT_EQ(list.Names(0), "user");
  EXPECT_EQ(list.Names(1), "expr");
  EXPECT_EQ(list.ValueFromIndex(1), "a=b");  // everything after the first separator
  EXPECT_EQ(list.Names(2), "");
  EXPECT_EQ(list.ValueFromIndex(2), "");
  EXPECT_EQ(list.Values("USER"), "sysdba");
  EXPECT_EQ(list.Values(""), "empty name");
  EXPECT_EQ(list.Values("flag"), "");
  EXPECT_EQ(list.IndexOfName("Expr"), 1);

  list.SetValue("User", "admin");
  EXPECT_EQ(list[0], "User=admin");
  list.SetValue("role", "x");
  EXPECT_EQ(list[4], "role=x");
  list.SetValue("user", "");  // an empty value removes the line
  EXPECT_EQ(list.IndexOfName("user"), -1);
  EXPECT_EQ(list.Count(), 4);
}

TEST(StringList, TextAcceptsEveryLineEnd) {
  TStringList list;
  list.SetText("a\r\nb\nc\rd\r\n\r\ne");
  EXPECT_EQ(items(list), (Lines{"a", "b", "c", "d", "", "e"}));
  EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n");
  list.SetText("only\n");
  EXPECT_EQ(items(list), (Lines{"only"}));
  list.SetText("\n\r");  // LF then a lone CR: two empty lines
  EXPECT_EQ(items(list), (Lines{"", ""}));
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Text(), "");
}

TEST(StringList, ChangeEventsAndUpdates) {
  TStringList list;
  int changing = 0, changed = 0;
  list.OnChanging = [&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    ++changing;
  };
  list.OnChange = [&](TObject*) { ++changed; };
  list.Add("a");
  EXPECT_EQ(changed, 1);
  list.BeginUpdate();
  list.Add("b");
  list.Add("c");
  list.Delete(0);
  EXPECT_EQ(changed, 1);
  list.EndUpdate();
  EXPECT_EQ(changing, 2);
  EXPECT_EQ(changed, 2);
  list.SetText("x\ny\nz");  // one notification for the whole text
  EXPECT_EQ(changed, 3);
  EXPECT_THROW(list.Get(9), EStringListError);
  EXPECT_EQ(changed, 3);
}

TEST(StringList, Files) {
  TempDir dir;
  WriteFileBytes(dir.File("in.txt"), "\xEF\xBB\xBFone\ntwo\r\n");
  TStringList list;
  list.LoadFromFile(dir.File("in.txt"));
  EXPECT_EQ(items(list), (Lines{"one", "two"}));
  list.SaveToFile(dir.File("out.txt"));
  EXPECT_EQ(ReadFileBytes(dir.File("out.txt")), "one\r\ntwo\r\n");
  EXPECT_THROW(list.LoadFromFile(dir.File("missing.txt")), EFOpenError);
  EXPECT_EQ(list.Count(), 2);

  TStringStream stream("skip|three\nfour");
  stream.SetPosition(5);  // reads from the position on
  list.LoadFromStream(stream);
  EXPECT_EQ(items(list), (Lines{"three", "four"}));
}
