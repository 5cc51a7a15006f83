#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

using namespace px;
using px::test::ReadFileBytes;
using px::test::TempDir;
using px::test::WriteFileBytes;
using ::testing::ThrowsMessage;
namespace fs = std::filesystem;

namespace {

size_t filesIn(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

}  // namespace

TEST(MemoryStream, ShortTransfersRaise) {
  TStringStream s("abc");
  char buffer[8] = {};
  EXPECT_EQ(s.Read(buffer, 8), 3);  // Read itself returns what there is
  EXPECT_EQ(s.Read(buffer, 8), 0);
  s.SetPosition(1);
  EXPECT_THAT([&] { s.ReadBuffer(buffer, 3); }, ThrowsMessage<EReadError>("Stream read error"));
  // A corrupt length must not turn into an allocation.
  s.SetPosition(0);
  EXPECT_THROW(s.ReadBytes(Int64(1) << 40), EReadError);
  EXPECT_THROW(s.ReadBytes(-1), EReadError);
  EXPECT_EQ(s.ReadBytes(3), (TBytes{'a', 'b', 'c'}));
  EXPECT_THROW(s.ReadValue<uint8_t>(), EReadError);

  TFileStream readOnly("/dev/null", fmOpenRead);
  EXPECT_THAT([&] { readOnly.WriteBuffer("x", 1); }, ThrowsMessage<EWriteError>("Stream write error"));
}

TEST(MemoryStream, SeekAndSizeEdges) {
  TMemoryStream s;
  s.WriteBuffer("0123456789");
  struct Case {
    Int64 start, offset;
    TSeekOrigin origin;
    Int64 expected;
  } cases[] = {
      {5, 2, soFromBeginning, 2}, {5, 2, soFromCurrent, 7},
      {5, -2, soFromEnd, 8},      {5, 4, soFromEnd, 14},  // past the end is allowed
      {5, -5, soCurrent, 0},
  };
  for (const auto& c : cases) {
    s.SetPosition(c.start);
    EXPECT_EQ(s.Seek(c.offset, c.origin), c.expected) << c.offset << " from " << c.origin;
    EXPECT_EQ(s.Position(), c.expected);
  }
  s.SetPosition(3);
  EXPECT_THROW(s.Seek(-4, soCurrent), EStreamError);
  EXPECT_THROW(s.Seek(-11, soEnd), EStreamError);
  EXPECT_EQ(s.Position(), 3);

  // Writing past the end fills the gap with zeros.
  s.SetPosition(12);
  s.WriteBuffer("X");
  EXPECT_EQ(s.Size(), 13);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s.Memory()), 13), std::string("0123456789\0\0X", 13));
  // Shrinking below the position pulls the position back.
  s.SetSize(4);
  EXPECT_EQ(s.Position(), 4);
  s.SetSize(6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s.Memory()), 6), std::string("0123\0\0", 6));
  EXPECT_THROW(s.SetSize(-1), EStreamError);
  EXPECT_THROW(s.SetSize(MaxMemoryStreamSize + 1), EStreamError);
  s.SetPosition(MaxMemoryStreamSize);
  EXPECT_THROW(s.WriteBuffer("x"), EStreamError);
  s.Clear();
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Position(), 0);
}

TEST(MemoryStream, TypedValuesAreLittleEndian) {
  TMemoryStream s;
  s.WriteValue<uint32_t>(0x11223344);
  s.WriteValue<int16_t>(-2);
  s.WriteValue<double>(1.0);
  const Byte expected[] = {0x44, 0x33, 0x22, 0x11, 0xFE, 0xFF, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
  ASSERT_EQ(s.Size(), 14);
  EXPECT_EQ(std::memcmp(s.Memory(), expected, 14), 0);
  s.SetPosition(0);
  EXPECT_EQ(s.ReadValue<uint32_t>(), 0x11223344u);
  EXPECT_EQ(s.ReadValue<int16_t>(), -2);
  EXPECT_EQ(s.ReadValue<double>(), 1.0);
}

TEST(MemoryStream, CopyFromAndStringStream) {
  TStringStream source("hello world");
  source.SetPosition(6);
  TStringStream all;
  EXPECT_EQ(all.CopyFrom(source, 0), 11);  // 0 = everything from the start
  EXPECT_EQ(all.DataString(), "hello world");

  source.SetPosition(6);
  TStringStream part;
  EXPECT_EQ(part.CopyFrom(source, 3), 3);
  EXPECT_EQ(part.DataString(), "wor");
  EXPECT_THROW(part.CopyFrom(source, 5), EReadError);

  TStringStream text("abcdef");
  text.SetPosition(4);
  EXPECT_EQ(text.ReadString(10), "ef");
  EXPECT_EQ(text.ReadString(10), "");
  text.WriteString("g");
  EXPECT_EQ(text.DataString(), "abcdefg");

  TBytesStream bytes(TBytes{1, 2, 3});
  EXPECT_EQ(bytes.Size(), 3);
  EXPECT_EQ(bytes.Position(), 0);
  EXPECT_EQ(bytes.ReadValue<uint8_t>(), 1);
}

TEST(FileStream, OpenErrorsCarryPathAndSystemMessage) {
  TempDir dir;
  std::string missing = dir.File("missing.bin");
  EXPECT_THAT([&] { TFileStream f(missing, fmOpenRead); },
              ThrowsMessage<EFOpenError>("Cannot open file \"" + missing + "\". " + std::strerror(ENOENT)));
  std::string nowhere = dir.File("no/such/folder.bin");
  EXPECT_THAT([&] { TFileStream f(nowhere, fmCreate); },
              ThrowsMessage<EFCreateError>("Cannot create file \"" + nowhere + "\". " + std::strerror(ENOENT)));
  // A folder opens with open(2) but is no file.
  EXPECT_THAT([&] { TFileStream f(dir.Path().string(), fmOpenRead | fmShareDenyWrite); },
              ThrowsMessage<EFOpenError>("Cannot open file \"" + dir.Path().string() + "\". " + std::strerror(EISDIR)));
}

TEST(FileStream, ModesSizeAndMemoryStreamFiles) {
  TempDir dir;
  std::string path = dir.File("data.bin");
  WriteFileBytes(path, "old content that is long");
  {
    TFileStream f(path, fmCreate);  // truncates, reads and writes
    f.WriteBuffer("abcdef");
    f.SetPosition(0);
    char buffer[6];
    f.ReadBuffer(buffer, 6);
    EXPECT_EQ(std::string(buffer, 6), "abcdef");
    f.SetSize(3);
    EXPECT_EQ(f.Size(), 3);
    EXPECT_EQ(f.Position(), 3);
  }
  EXPECT_EQ(ReadFileBytes(path), "abc");
  {
    TFileStream f(path, fmOpenWrite);
    f.Seek(0, soEnd);
    f.WriteBuffer("d");
    char c;
    f.SetPosition(0);
    EXPECT_EQ(f.Read(&c, 1), 0);  // write-only
  }
  TMemoryStream m;
  m.LoadFromFile(path);
  EXPECT_EQ(m.Size(), 4);
  m.WriteBuffer("XY");  // position stayed at 0
  m.SaveToFile(dir.File("copy.bin"));
  EXPECT_EQ(ReadFileBytes(dir.File("copy.bin")), "XYcd");
}

TEST(AtomicSave, FailedWriterKeepsOldFile) {
  TempDir dir;
  std::string path = dir.File("settings.ini");
  WriteFileBytes(path, "old");
  EXPECT_THROW(SaveFileAtomically(path,
                                  [](TStream& s) {
                                    s.WriteBuffer("half of the new");
                                    throw EWriteError("Stream write error");
                                  }),
               EWriteError);
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_EQ(filesIn(dir.Path()), 1u);  // the temporary file is gone

  {
    TAtomicFileStream uncommitted(path);
    uncommitted.WriteBuffer("never committed");
  }
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_EQ(filesIn(dir.Path()), 1u);

  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  SaveFileAtomically(path, [](TStream& s) { s.WriteBuffer("new"); });
  EXPECT_EQ(ReadFileBytes(path), "new");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(filesIn(dir.Path()), 1u);

  // A link stays a link; its file gets the content.
  fs::create_symlink(path, dir.File("link.ini"));
  SaveFileAtomically(dir.File("link.ini"), [](TStream& s) { s.WriteBuffer("via link"); });
  EXPECT_TRUE(fs::is_symlink(dir.File("link.ini")));
  EXPECT_EQ(ReadFileBytes(path), "via link");

  EXPECT_THROW(SaveFileAtomically(dir.File("no/folder.ini"), [](TStream&) {}), EFCreateError);
}

// A save that runs out of room (the size limit stands in for a full disk)
// names the file and the reason, and leaves the old file alone.
TEST(AtomicSave, AFileThatCannotBeWrittenWholeIsNamedWithTheReason) {
  TempDir dir;
  const std::string path = dir.File("report.pdf");
  WriteFileBytes(path, "old");
  const std::string big(64 * 1024, 'x');
  std::string message;
  {
    test::FileSizeLimit full(1000);
    try {
      SaveFileAtomically(path, [&](TStream& s) { s.WriteBuffer(big); });
    } catch (const EFCreateError& e) {
      message = e.Message();
    }
  }
  EXPECT_EQ(message, "Cannot create file \"" + path + "\". " + std::strerror(EFBIG));
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_EQ(filesIn(dir.Path()), 1u);
}

#include "platform/core/Resources.h"

namespace px {
namespace {

TEST(Resources, LookupByNameAndTypeIgnoringCase) {
  RegisterResource("Strip1", "png", {1, 2, 3});
  TResourceStream s("STRIP1", "PNG");
  EXPECT_EQ(s.Size(), 3);
  EXPECT_EQ(s.ReadValue<uint8_t>(), 1);
  EXPECT_THROW(s.WriteBuffer("x", 1), EStreamError);
  // The type is part of the name; an unregistered resource is gone.
  try {
    TResourceStream other("Strip1", "BMP");
    FAIL();
  } catch (const EResNotFound& e) {
    EXPECT_STREQ(e.what(), "Resource Strip1 not found");
  }
  UnregisterResource("strip1", "Png");
  EXPECT_EQ(FindResource("Strip1", "PNG"), nullptr);
  EXPECT_THROW(TResourceStream("Strip1", "PNG"), EResNotFound);
}

}  // namespace
}  // namespace px
