#pragma once
// The two form definition layouts, parsed from an open reader. TFormRec::ReadFields4x and ReadFields5x name
// and open the file and call these; fuzz targets and tests call them on readers built from memory.

#include "database/DEInfoRec.h"
#include "database/MemoryFile.h"

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// Reads the 4.x layout (a chain of blocks with 2-byte lengths; 16- or 18-byte field records) and appends its
// fields to form.Fields; sets form.DefinitionVersion to the format byte at position 2.
// Throws ERangeError when a block start, text table entry or choice list position exceeds 65535 or the record
// size exceeds 255, and what the reader throws. On any error the fields appended by this call are discarded.
void ParseFields4x(TLargeMemoryFile& file, TFormRec& form);

// Reads the 5.x / DfW layout (tagged "DETagged" with 4-byte lengths from position 22, or untagged with 2-byte
// lengths from position 25) and appends its fields to form.Fields; sets form.DefinitionVersion to 5.
// Throws ERangeError when any computed position exceeds 65535. On any error the fields appended by this call
// are discarded.
void ParseFields5x(const TMemoryFile& file, TFormRec& form);

// Splits text at carriage returns (13); every other byte, line feed included, stays in its line. The line
// after the last carriage return is kept even when empty, so the result always holds at least one line.
std::vector<std::string> SplitLines(std::string_view text);

} // namespace corvane
