#pragma once
// The one checked way to read little-endian values out of bytes taken from a DataEase file. Every reader of
// the library goes through these helpers; none indexes a buffer by an offset read from a file without them.

#include "database/Errors.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>

namespace corvane {

using ByteSpan = std::span<const std::uint8_t>;

// True when [offset, offset + count) lies inside bytes.
inline bool InBounds(ByteSpan bytes, std::size_t offset, std::size_t count) noexcept {
    return offset <= bytes.size() && count <= bytes.size() - offset;
}

// Decodes an integer of type T from exactly sizeof(T) little-endian bytes.
template <typename T> T DecodeLE(const std::uint8_t* p) noexcept {
    static_assert(std::is_integral_v<T>);
    using U = std::make_unsigned_t<T>;
    U value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        value = static_cast<U>(value | (static_cast<U>(p[i]) << (8 * i)));
    }
    return static_cast<T>(value);
}

// Reads T at offset; throws ERangeError when the value does not lie wholly inside bytes.
template <typename T> T ReadLE(ByteSpan bytes, std::size_t offset) {
    if (!InBounds(bytes, offset, sizeof(T))) {
        throw ERangeError("read of " + std::to_string(sizeof(T)) + " bytes at offset " +
                          std::to_string(offset) + " runs past the end of a " + std::to_string(bytes.size()) +
                          "-byte buffer");
    }
    return DecodeLE<T>(bytes.data() + offset);
}

// Reads T at offset; bytes missing at the end of the buffer read as zero.
template <typename T> T ReadLEOrZero(ByteSpan bytes, std::size_t offset) noexcept {
    std::array<std::uint8_t, sizeof(T)> tmp{};
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        if (InBounds(bytes, offset + i, 1)) {
            tmp[i] = bytes[offset + i];
        }
    }
    return DecodeLE<T>(tmp.data());
}

// The bytes [offset, offset + count) clipped to the buffer: what lies outside is simply absent.
inline ByteSpan ClippedSpan(ByteSpan bytes, std::size_t offset, std::size_t count) noexcept {
    if (offset >= bytes.size()) {
        return {};
    }
    const std::size_t n = count < bytes.size() - offset ? count : bytes.size() - offset;
    return bytes.subspan(offset, n);
}

// The bytes as characters, unchanged.
inline std::string BytesToString(ByteSpan bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// IEEE-754 values from little-endian bytes, without pointer casts.
inline double DecodeDoubleLE(const std::uint8_t* p) noexcept {
    const std::uint64_t bits = DecodeLE<std::uint64_t>(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
inline float DecodeSingleLE(const std::uint8_t* p) noexcept {
    const std::uint32_t bits = DecodeLE<std::uint32_t>(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

} // namespace corvane
