#pragma once
// The old dataset stream format: a whole table (fields and records) as
// varints, strings and little-endian values, optionally enciphered as a whole
// with RC4. The application's dataset files and the counting details kept in
// the database use it.
#include <string>

#include "data/UnitDataSet.h"
#include "platform/core/Streams.h"

namespace px {

// Passwords of the stored data.
inline constexpr const char* OfficialDataPassword = "tovek";   // Official.dat
inline constexpr const char* CountingDataPassword = "qjv";     // stored countings

// Reads one table. dataSet is replaced by a new empty table before anything
// is read, so after a failure it holds what was read completely. An empty
// password reads the plain form from the current position; otherwise the
// whole stream, from position 0, is deciphered first.
// Errors: Exception "Cannot load dataset" (wrong magic, malformed or
// impossible counts), EReadError "Stream read error" (data ends early),
// EAssertionFailed "NOT.IMPLEMENTED.YET" (a value of a type without encoding).
void LoadDataSetFromStream(TStream& stream, const AnsiString& password, IMemDataSet& dataSet);

// Writes the table at the current position, plain for an empty password,
// enciphered otherwise. A table with records in a field of a type the format
// cannot hold (only Integer, AnsiString, Double and Currency values are
// written) raises EAssertionFailed "NOTIMPLEMENTEDYET" before anything is
// written.
void SaveDataSetToStream(TStream& stream, const IMemDataSet& dataSet, const AnsiString& password);

void LoadDataSetFromFile(const std::string& fileName, const AnsiString& password, IMemDataSet& dataSet);
// Replaces the file atomically: a failure leaves the old file as it was.
void SaveDataSetToFile(const std::string& fileName, const IMemDataSet& dataSet, const AnsiString& password);

}  // namespace px
