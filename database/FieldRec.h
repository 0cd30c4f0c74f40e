#pragma once
// One field of a form, as the definition readers find it.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

// Field type codes.
inline constexpr std::uint8_t kFieldText = 1;
inline constexpr std::uint8_t kFieldText2 = 2;
inline constexpr std::uint8_t kFieldNumber = 3;
inline constexpr std::uint8_t kFieldDate = 4;
inline constexpr std::uint8_t kFieldTime = 5;
inline constexpr std::uint8_t kFieldChoice = 8;

struct TFieldRec {
    TFieldRec() = default;
    // Releases the rest of the chain iteratively, so a very long field list cannot exhaust the stack.
    ~TFieldRec();
    TFieldRec(const TFieldRec&) = delete;
    TFieldRec& operator=(const TFieldRec&) = delete;

    std::string Name;                                // at most 20 characters
    std::uint8_t FieldType = 0;                      // kFieldText ... kFieldChoice, or an unknown code
    std::uint8_t Length = 0;                         // definition byte 3
    std::uint8_t SubType = 0;                        // definition byte 4
    std::uint8_t IntDigits = 0;                      // definition byte 5
    std::array<std::vector<std::string>, 3> Texts;   // the field's three texts, split into lines
    std::vector<std::string> Choices{std::string()}; // entry 0 is the empty text
    bool Flag3 = false;                              // exported before the other fields
    bool Flag7 = false;                              // left out of the export
    bool Flag0 = false;                              // carried, not used
    bool Flag1 = false;                              // carried, not used
    std::uint16_t Offset = 0;                        // value offset inside a record slot
    std::uint8_t Size = 0;                           // bytes the value occupies
    std::unique_ptr<TFieldRec> Next;
};

} // namespace corvane
