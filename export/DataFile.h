#pragma once
// The data file of a form and the two database-wide settings kept in the "Configuration" form.

#include "database/DEInfoRec.h"

#include <cstdint>
#include <string>

namespace corvane {

// Record selection letters.
inline constexpr char kSelectLive = 'L';
inline constexpr char kSelectDeleted = 'D';
inline constexpr char kSelectAll = 'A';

// The path of a form's data file: Directory + DataFile, resolved without regard to case.
std::string DataFilePath(const TFormRec& form);

// True when a slot whose first byte is status is taken by selection ('L', 'D', 'A'; any other letter: none).
bool SlotSelected(std::uint8_t status, char selection);

// The stored date order of the database: 'A', 'B' or 'M' (version 3 reads byte 128 of the Configuration data file;
// every other version answers 'B'). Throws EInOutError when that file is missing or too short.
char ReadDateOrder(TDEInfoRec& database);

// The two-digit-year cutoff, cached in CenturyCutoff; 0 without a Configuration form. Throws EInOutError.
std::uint8_t ReadCenturyCutoff(TDEInfoRec& database);

} // namespace corvane
