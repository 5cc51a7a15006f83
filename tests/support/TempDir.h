#pragma once
// A temporary folder for one test, removed with everything in it when the
// object goes out of scope.
#include <filesystem>
#include <string>
#include <string_view>

namespace px::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Path of a file inside the folder, as UTF-8 text.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Folder of the shared test fixtures (tests/fixtures).
std::filesystem::path FixturesDir();
// Reads or writes a whole file as bytes.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);
// Runs a shell command and returns its exit status; its standard output is
// appended to *output when given.
int RunCommand(const std::string& command, std::string* output = nullptr);
// The bytes as upper-case hexadecimal digits, two a byte.
std::string HexText(std::string_view bytes);

}  // namespace px::test
