// pxtool counting: the database module of the application.
//   counting init [--create] DBFILE
//                          opens the database, creating a missing local file
//                          with its schema; a server name (host:/path,
//                          host/port:/path) is only connected to. With
//                          --create the database is created with its schema
//                          (on a server with the login of ISC_USER and
//                          ISC_PASSWORD) and refused when it exists; prints
//                          nothing.
//   counting report [--logo FILE] [--lang FILE] DBFILE ID OUT.pdf [OUT.csv]
//                          the report of counting ID (FILE as the logo
//                          setting) and its CSV lines (CR LF); with --lang
//                          its texts translated from that translation file,
//                          as the program shows them.
#include <filesystem>
#include <ostream>
#include <system_error>

#include "PxTool.h"
#include "app/UnitData.h"
#include "app/UnitSettings.h"
#include "data/UnitLocales.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/Streams.h"
#include "ui/framework/UnitTranslation.h"

namespace px::pxtool {
namespace {

// The engine's message without carriage returns or trailing line breaks.
std::string messageText(const std::string& message) {
  std::string out;
  for (char c : message)
    if (c != '\r') out += c;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

int runInit(const Args& args, std::ostream&, std::ostream& err) {
  const bool create = !args.empty() && args[0] == "--create";
  if (args.size() != (create ? 2u : 1u)) return usageError(err);
  const std::string& name = args.back();
  TObjectPtr<TdmDatabase> dm = MakeObject<TdmDatabase>(nullptr);
  dm->DB->SetDatabaseName(name);
  if (!create) {
    dm->OpenDatabase();
    return 0;
  }
  std::error_code ec;
  if (TDBCDataBase::IsLocalDatabaseName(name) && std::filesystem::exists(name, ec)) {
    err << "The database " << name << " exists already.\n";
    return 1;
  }
  dm->CreateDatabase();
  return 0;
}

int runReport(const Args& args, std::ostream&, std::ostream& err) {
  size_t at = 0;
  std::string logo, lang;
  while (at + 1 < args.size() && (args[at] == "--logo" || args[at] == "--lang")) {
    (args[at] == "--logo" ? logo : lang) = args[at + 1];
    at += 2;
  }
  if (args.size() - at != 3 && args.size() - at != 4) return usageError(err);
  Integer id = 0;
  if (!TryStrToInt(args[at + 1], id)) return usageError(err);
  // The numbers and dates of the report in the user's formats, as the
  // program shows them.
  const std::string locale = ThreadLocaleName();
  FormatSettings = GetLocaleFormatSettings(locale == "C" || locale == "POSIX" ? "en_US" : locale);
  TObjectPtr<TdmDatabase> dm = MakeObject<TdmDatabase>(nullptr);
  dm->DB->SetDatabaseName(args[at]);
  // The logo comes from the settings; these are the tool's own, never loaded
  // or saved.
  TObjectPtr<TSettings> settings = MakeObject<TSettings>();
  settings->LogoFile = logo;
  TSettings* const previous = Settings;
  Settings = settings.get();
  if (!lang.empty()) InitializeTranslations(lang);
  TObjectPtr<TStringList> csv = MakeObject<TStringList>();
  std::unique_ptr<TMemoryStream> pdf;
  try {
    pdf = dm->CreateCountingReport(id, csv.get());
  } catch (...) {
    Settings = previous;
    if (!lang.empty()) FinalizeTranslations();
    throw;
  }
  Settings = previous;
  if (!lang.empty()) FinalizeTranslations();
  pdf->SaveToFile(args[at + 2]);
  if (args.size() - at == 4) {
    std::string text;
    for (Integer i = 0; i < csv->Count(); ++i) text += csv->Get(i) + "\r\n";
    SaveFileAtomically(args[at + 3], [&](TStream& out) { out.WriteBuffer(text); });
  }
  return 0;
}

int runCounting(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return usageError(err);
  const Args rest(args.begin() + 1, args.end());
  try {
    if (args[0] == "init") return runInit(rest, out, err);
    if (args[0] == "report") return runReport(rest, out, err);
  } catch (const Exception& e) {
    err << messageText(e.Message()) << "\n";
    return 1;
  }
  return usageError(err);
}

const PxCommand countingCommand("counting",
                                 "counting init [--create] DBFILE | report [--logo FILE] [--lang FILE] DBFILE ID OUT.pdf [OUT.csv]",
                                 runCounting);

}  // namespace
}  // namespace px::pxtool
