// Byte helpers, file helpers and the temporary directory of the test-support writer.

#include "tools/testwriter/TestWriter.h"

#include <atomic>
#include <bit>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

namespace corvane::testwriter {

namespace {

void EnsureSize(Bytes& b, std::size_t end) {
    if (b.size() < end) {
        b.resize(end, 0);
    }
}

template <typename U> void PutLE(Bytes& b, std::size_t offset, U v) {
    EnsureSize(b, offset + sizeof(U));
    for (std::size_t i = 0; i < sizeof(U); ++i) {
        b[offset + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
    }
}

} // namespace

Bytes ToBytes(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

std::string ToString(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

void PutU8(Bytes& b, std::size_t offset, std::uint8_t v) {
    PutLE(b, offset, v);
}
void PutU16(Bytes& b, std::size_t offset, std::uint16_t v) {
    PutLE(b, offset, v);
}
void PutU32(Bytes& b, std::size_t offset, std::uint32_t v) {
    PutLE(b, offset, v);
}
void PutI32(Bytes& b, std::size_t offset, std::int32_t v) {
    PutLE(b, offset, static_cast<std::uint32_t>(v));
}
void PutDouble(Bytes& b, std::size_t offset, double v) {
    PutLE(b, offset, std::bit_cast<std::uint64_t>(v));
}
void PutSingle(Bytes& b, std::size_t offset, float v) {
    PutLE(b, offset, std::bit_cast<std::uint32_t>(v));
}

void PutBytes(Bytes& b, std::size_t offset, const Bytes& v) {
    EnsureSize(b, offset + v.size());
    std::copy(v.begin(), v.end(), b.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PutText(Bytes& b, std::size_t offset, std::string_view s, std::size_t width, char pad) {
    EnsureSize(b, offset + width);
    for (std::size_t i = 0; i < width; ++i) {
        b[offset + i] = static_cast<std::uint8_t>(i < s.size() ? s[i] : pad);
    }
}

void AppendU8(Bytes& b, std::uint8_t v) {
    b.push_back(v);
}
void AppendU16(Bytes& b, std::uint16_t v) {
    PutU16(b, b.size(), v);
}
void AppendU32(Bytes& b, std::uint32_t v) {
    PutU32(b, b.size(), v);
}
void AppendBytes(Bytes& b, const Bytes& v) {
    b.insert(b.end(), v.begin(), v.end());
}
void AppendText(Bytes& b, std::string_view s) {
    b.insert(b.end(), s.begin(), s.end());
}
void AppendCString(Bytes& b, std::string_view s) {
    AppendText(b, s);
    b.push_back(0);
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw std::runtime_error("cannot create " + path.string());
    }
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    WriteFile(path, ToBytes(bytes));
}

Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path.string());
    }
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return bytes;
}

std::string ReadFileText(const std::filesystem::path& path) {
    return ToString(ReadFileBytes(path));
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device device;
    std::mt19937_64 random(
        device() ^ static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate =
            base / ("corvane-test-" + std::to_string(random()) + "-" + std::to_string(counter.fetch_add(1)));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory under " + base.string());
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Dir() const {
    std::string s = path_.string();
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    if (s.empty() || s.back() != separator) {
        s += separator;
    }
    return s;
}

} // namespace corvane::testwriter
