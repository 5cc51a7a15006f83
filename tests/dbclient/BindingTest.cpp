#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "dbclient/dbclib.h"

namespace px {
namespace {

bool allSlotsSet(const TDBCBaseLibrary& lib) {
  bool all = true;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#define PX_DBC_ENTRY(name) all = all && lib.name != nullptr;
#include "dbclient/dbclibEntryPoints.inc"
#undef PX_DBC_ENTRY
#pragma GCC diagnostic pop
  return all;
}

bool noSlotSet(const TDBCBaseLibrary& lib) {
  bool none = true;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#define PX_DBC_ENTRY(name) none = none && lib.name == nullptr;
#include "dbclient/dbclibEntryPoints.inc"
#undef PX_DBC_ENTRY
#pragma GCC diagnostic pop
  return none;
}

TEST(Binding, CompleteStubBindsAndStaysBound) {
  TDBCBaseLibrary lib;
  EXPECT_FALSE(lib.IsLoaded());
  EXPECT_TRUE(noSlotSet(lib));
  EXPECT_TRUE(lib.ReleaseClientLibrary());  // unbound: nothing to do
  ASSERT_TRUE(lib.BindClientLibrary(PX_STUB_FULL));
  EXPECT_TRUE(lib.IsLoaded());
  EXPECT_TRUE(allSlotsSet(lib));
  // The stub exports none of the optional names: they stay null.
  EXPECT_EQ(nullptr, lib.fb_interpret);
  EXPECT_EQ(nullptr, lib.fb_shutdown);
  auto before = lib.isc_attach_database;
  // A second bind, even to another name, keeps the library bound first.
  EXPECT_TRUE(lib.BindClientLibrary(PX_STUB_MISSING));
  EXPECT_TRUE(lib.BindClientLibrary("no-such-library.so"));
  EXPECT_EQ(before, lib.isc_attach_database);
  EXPECT_TRUE(lib.ReleaseClientLibrary());
  EXPECT_FALSE(lib.IsLoaded());
  EXPECT_TRUE(noSlotSet(lib));
}

TEST(Binding, StubMissingOneNameIsRefusedAndLeavesNothingBound) {
  TDBCBaseLibrary lib;
  try {
    lib.BindClientLibrary(PX_STUB_MISSING);
    FAIL() << "bound an incomplete library";
  } catch (const EDBCError&) {
    FAIL() << "wrong exception class";
  } catch (const Exception& e) {
    EXPECT_EQ("Incorrect Database Server version, check compiler options.", e.Message());
  }
  EXPECT_FALSE(lib.IsLoaded());
  EXPECT_TRUE(noSlotSet(lib));
  // A complete library binds afterwards.
  EXPECT_TRUE(lib.BindClientLibrary(PX_STUB_FULL));
  EXPECT_TRUE(allSlotsSet(lib));
  // An optional entry point the library lacks stays null; binding goes on.
  EXPECT_EQ(nullptr, lib.fb_cancel_operation);
}

TEST(Binding, MissingFileRaisesCantLoad) {
  TDBCBaseLibrary lib;
  try {
    lib.BindClientLibrary("/nonexistent/libnothing.so");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ("Can't load library: /nonexistent/libnothing.so.", e.Message());
  }
  EXPECT_FALSE(lib.IsLoaded());
}

TEST(Binding, WindowsNamesMeanTheSystemClient) {
  for (const char* name : {"gds32.dll", "fbembed.dll", "FBCLIENT.DLL", ""})
    EXPECT_EQ("libfbclient.so.2", TDBCBaseLibrary::ResolveLibraryName(name)) << name;
  EXPECT_EQ("/x/libstub.so", TDBCBaseLibrary::ResolveLibraryName("/x/libstub.so"));
}

TEST(Binding, RealClientLibraryBinds) {
  TDBCLibrary lib;
  ASSERT_TRUE(lib.BindClientLibrary("fbembed.dll"));
  EXPECT_TRUE(allSlotsSet(lib));
  EXPECT_NE(nullptr, lib.fb_interpret);
  EXPECT_NE(nullptr, lib.fb_cancel_operation);
  EXPECT_NE(nullptr, lib.fb_shutdown);
  EXPECT_EQ(TDBCBaseLibrary::EntryPointCount, 139);
  EXPECT_STREQ("BLOB_close", TDBCBaseLibrary::EntryPointName(0));
  EXPECT_STREQ("isc_wait_for_event", TDBCBaseLibrary::EntryPointName(138));
}

TEST(Binding, LockFolderIsMadePrivateWhenUnset) {
  const char* old = std::getenv("FIREBIRD_LOCK");
  std::string saved = old ? old : "";
  setenv("FIREBIRD_LOCK", "/somewhere/else", 1);
  EnsurePrivateLockFolder();
  EXPECT_STREQ("/somewhere/else", std::getenv("FIREBIRD_LOCK"));  // a set value is kept
  unsetenv("FIREBIRD_LOCK");
  EnsurePrivateLockFolder();
  const char* made = std::getenv("FIREBIRD_LOCK");
  ASSERT_NE(nullptr, made);
  struct stat st {};
  ASSERT_EQ(0, lstat(made, &st)) << made;
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(geteuid(), st.st_uid);
  EXPECT_EQ(0u, st.st_mode & 022);
  if (saved.empty()) unsetenv("FIREBIRD_LOCK");
  else setenv("FIREBIRD_LOCK", saved.c_str(), 1);
}

}  // namespace
}  // namespace px
