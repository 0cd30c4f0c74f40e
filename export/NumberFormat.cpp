#include "export/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace corvane {

namespace {

// Rounds digits [0, keep) of d half away from zero on digit keep. A carry out of the first digit turns the
// digits into 1000... and raises the exponent by one.
void RoundAt(TDecimal18& d, int keep) {
    if (keep >= TDecimal18::kDigits) {
        return;
    }
    const bool up = d.Digits[static_cast<std::size_t>(keep)] >= '5';
    for (int i = keep; i < TDecimal18::kDigits; ++i) {
        d.Digits[static_cast<std::size_t>(i)] = '0';
    }
    if (!up) {
        return;
    }
    int i = keep - 1;
    while (i >= 0 && d.Digits[static_cast<std::size_t>(i)] == '9') {
        d.Digits[static_cast<std::size_t>(i)] = '0';
        --i;
    }
    if (i >= 0) {
        ++d.Digits[static_cast<std::size_t>(i)];
    } else {
        d.Digits[0] = '1';
        ++d.Exponent;
    }
}

bool AllZero(const TDecimal18& d) {
    for (char c : d.Digits) {
        if (c != '0') {
            return false;
        }
    }
    return true;
}

// "E", the sign and at least four digits of the exponent.
void AppendExponent(std::string& out, int exponent) {
    char buf[16];
    char* p = buf;
    *p++ = 'E';
    *p++ = exponent < 0 ? '-' : '+';
    const int e = exponent < 0 ? -exponent : exponent;
    if (e < 10000) {
        *p++ = static_cast<char>('0' + e / 1000);
        *p++ = static_cast<char>('0' + e / 100 % 10);
        *p++ = static_cast<char>('0' + e / 10 % 10);
        *p++ = static_cast<char>('0' + e % 10);
    } else {
        p = std::to_chars(p, buf + sizeof buf, e).ptr;
    }
    out.append(buf, p);
}

__extension__ typedef unsigned __int128 TUInt128;

constexpr TUInt128 Pow10U128(int k) {
    TUInt128 v = 1;
    for (int i = 0; i < k; ++i) {
        v *= 10;
    }
    return v;
}

// 10^0 .. 10^22: every one of them is a double exactly, and each fits 128 bits with room for a 53-bit factor.
constexpr int kMaxScale = 22;
constexpr std::array<TUInt128, kMaxScale + 1> kPow10U128 = [] {
    std::array<TUInt128, kMaxScale + 1> t{};
    for (int k = 0; k <= kMaxScale; ++k) {
        t[static_cast<std::size_t>(k)] = Pow10U128(k);
    }
    return t;
}();
constexpr std::array<double, 19> kPow10Double = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                                                 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
constexpr std::uint64_t kPow10_17 = 100000000000000000ULL;
constexpr std::uint64_t kPow10_18 = 1000000000000000000ULL;

// The 18-digit expansion of a = |value| (finite, not zero) in exact integer arithmetic, for the range most
// stored numbers fall in: 1e-5 <= a < 1e18, normal doubles. a is m * 2^-s; the digits are a * 10^(17 - E)
// rounded to the nearest integer, a tie to the even one, exactly as a correctly rounded conversion gives
// them: the integer digits (10^17 <= digits < 10^18) and the exponent of the first digit. Returns false
// outside that range.
bool Exact18(double a, std::uint64_t& digits, int& exponent) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &a, sizeof bits);
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    if (biased == 0 || biased == 0x7FF || !(a < 1e18)) {
        return false;
    }
    const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int s = 1075 - biased; // a = m * 2^-s
    int e = 0;                   // 10^e <= a < 10^(e+1)
    if (a >= 1.0) {
        // 2^b <= a < 2^(b+1): e is floor(b * log10(2)) or one more.
        const int b = biased - 1023;
        e = (b * 1233) >> 12;
        if (e < 18 && a >= kPow10Double[static_cast<std::size_t>(e + 1)]) {
            ++e;
        }
    } else {
        // a < 1, so s >= 53; a >= 10^-k exactly when m * 10^k >= 2^s.
        if (s >= 100) {
            return false;
        }
        const TUInt128 one = TUInt128{1} << s;
        int k = 1;
        while (k <= 5 && TUInt128{m} * kPow10U128[static_cast<std::size_t>(k)] < one) {
            ++k;
        }
        if (k > 5) {
            return false;
        }
        e = -k;
    }
    const int scale = 17 - e; // 0 .. 22
    std::uint64_t q = 0;
    if (s <= 0) {
        // A whole number below 10^18: its digits are exact.
        q = static_cast<std::uint64_t>((TUInt128{m} << -s) * kPow10U128[static_cast<std::size_t>(scale)]);
    } else {
        const TUInt128 p = TUInt128{m} * kPow10U128[static_cast<std::size_t>(scale)];
        TUInt128 whole = p >> s;
        const TUInt128 rest = p - (whole << s);
        const TUInt128 half = TUInt128{1} << (s - 1);
        if (rest > half || (rest == half && (whole & 1) != 0)) {
            ++whole;
        }
        q = static_cast<std::uint64_t>(whole);
    }
    if (q >= kPow10_18) {
        // Rounded up to the next power of ten.
        q = kPow10_17;
        ++e;
    }
    digits = q;
    exponent = e;
    return true;
}

constexpr std::array<std::uint64_t, 19> kPow10U64 = [] {
    std::array<std::uint64_t, 19> t{};
    std::uint64_t v = 1;
    for (std::size_t k = 0; k < t.size(); ++k) {
        t[k] = v;
        v *= 10;
    }
    return t;
}();

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Exactly width digits of v (v < 10^width), leading zeros included.
char* WriteDigits(char* p, std::uint64_t v, int width) {
    char* q = p + width;
    while (q - p >= 2) {
        const std::size_t pair = static_cast<std::size_t>(v % 100) * 2;
        v /= 100;
        q -= 2;
        q[0] = kDigitPairs[pair];
        q[1] = kDigitPairs[pair + 1];
    }
    if (q != p) {
        *--q = static_cast<char>('0' + v % 10);
    }
    return p + width;
}

// The number of decimal digits of v (at least 1).
int DigitCount(std::uint64_t v) {
    int n = 1;
    while (n < 19 && v >= kPow10U64[static_cast<std::size_t>(n)]) {
        ++n;
    }
    return n;
}

bool ExpandDecimal18Exact(double a, TDecimal18& d) {
    std::uint64_t q = 0;
    int e = 0;
    if (!Exact18(a, q, e)) {
        return false;
    }
    // Two halves of nine digits, each in 32-bit arithmetic.
    auto nine = [&d](std::uint32_t v, std::size_t at) {
        for (std::size_t i = at + 9; i-- > at;) {
            d.Digits[i] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
    };
    nine(static_cast<std::uint32_t>(q / 1000000000U), 0);
    nine(static_cast<std::uint32_t>(q % 1000000000U), 9);
    d.Exponent = e;
    return true;
}

} // namespace

char* WriteFixedFast(char* p, double value, int decimals) {
    if (decimals < 0 || decimals > kFastMaxDecimals) {
        return nullptr;
    }
    std::uint64_t q = 0;
    int e = 0;
    if (!Exact18(std::fabs(value), q, e)) {
        return nullptr;
    }
    // Digits kept of the 18: those down to the weight 10^-decimals.
    const int keep = e + decimals + 1;
    if (keep >= TDecimal18::kDigits) {
        return nullptr;
    }
    // r is the value times 10^decimals, rounded half away from zero on the 18 digits.
    std::uint64_t r = 0;
    if (keep >= 0) {
        const std::uint64_t unit = kPow10U64[static_cast<std::size_t>(TDecimal18::kDigits - keep)];
        r = q / unit;
        if (q % unit >= unit / 2) {
            ++r;
        }
    }
    if (r != 0 && std::signbit(value)) {
        *p++ = '-';
    }
    const std::uint64_t scale = kPow10U64[static_cast<std::size_t>(decimals)];
    const std::uint64_t whole = r / scale;
    p = WriteDigits(p, whole, DigitCount(whole));
    if (decimals > 0) {
        *p++ = '.';
        p = WriteDigits(p, r % scale, decimals);
    }
    return p;
}

char* WriteScientificFast(char* p, double value, int significant) {
    if (significant < 2) {
        significant = 2;
    } else if (significant > TDecimal18::kDigits) {
        significant = TDecimal18::kDigits;
    }
    std::uint64_t q = 0;
    int e = 0;
    if (!Exact18(std::fabs(value), q, e)) {
        return nullptr;
    }
    if (significant < TDecimal18::kDigits) {
        const std::uint64_t unit = kPow10U64[static_cast<std::size_t>(TDecimal18::kDigits - significant)];
        const bool up = q % unit >= unit / 2;
        q /= unit;
        if (up && ++q == kPow10U64[static_cast<std::size_t>(significant)]) {
            q /= 10;
            ++e;
        }
    }
    if (std::signbit(value)) {
        *p++ = '-';
    }
    char digits[TDecimal18::kDigits];
    WriteDigits(digits, q, significant);
    *p++ = digits[0];
    *p++ = '.';
    std::memcpy(p, digits + 1, static_cast<std::size_t>(significant - 1));
    p += significant - 1;
    *p++ = 'E';
    *p++ = e < 0 ? '-' : '+';
    return WriteDigits(p, static_cast<std::uint64_t>(e < 0 ? -e : e), 4);
}

TDecimal18 ExpandDecimal18(double value) {
    TDecimal18 d;
    d.Digits.fill('0');
    if (value == 0 || !std::isfinite(value)) {
        return d;
    }
    d.Negative = std::signbit(value);
    if (ExpandDecimal18Exact(std::fabs(value), d)) {
        return d;
    }
    // "d.ddddddddddddddddde+XX": std::to_chars gives the correctly rounded digits.
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific,
                                 TDecimal18::kDigits - 1);
    const char* p = buf;
    std::size_t n = 0;
    for (; p != r.ptr && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9' && n < d.Digits.size()) {
            d.Digits[n++] = *p;
        }
    }
    if (p != r.ptr) {
        ++p; // 'e'
        int exponent = 0;
        std::from_chars(*p == '+' ? p + 1 : p, r.ptr, exponent);
        d.Exponent = exponent;
    }
    return d;
}

void AppendInteger(std::string& out, std::int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

bool AppendNonFinite(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NaN";
        return true;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-INF" : "INF";
        return true;
    }
    return false;
}

void AppendFixed(std::string& out, double value, int decimals) {
    if (AppendNonFinite(out, value)) {
        return;
    }
    if (decimals < 0) {
        decimals = 0;
    }
    TDecimal18 d = ExpandDecimal18(value);
    // Digit i has the weight 10^(Exponent - i); the last one kept has the weight 10^-decimals.
    const int keep = d.Exponent + decimals + 1;
    bool zero = false;
    if (keep < 0 || AllZero(d)) {
        zero = true;
    } else if (keep == 0) {
        // Only the first digit decides: the value is either one unit of the last place or nothing.
        if (d.Digits[0] >= '5') {
            d.Digits.fill('0');
            d.Digits[0] = '1';
            d.Exponent = -decimals;
        } else {
            zero = true;
        }
    } else {
        RoundAt(d, keep);
    }
    if (zero) {
        d.Digits.fill('0');
        d.Exponent = 0;
    } else if (d.Negative) {
        out += '-';
    }
    auto digitAt = [&d](int weight) -> char {
        const int i = d.Exponent - weight;
        return i >= 0 && i < TDecimal18::kDigits ? d.Digits[static_cast<std::size_t>(i)] : '0';
    };
    // The text is sized first and filled in place: one growth of out, no per-character checks.
    const int top = d.Exponent > 0 ? d.Exponent : 0;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(top + 1) +
               (decimals > 0 ? 1 + static_cast<std::size_t>(decimals) : 0));
    char* p = out.data() + start;
    for (int w = top; w >= 0; --w) {
        *p++ = digitAt(w);
    }
    if (decimals > 0) {
        *p++ = '.';
        for (int w = -1; w >= -decimals; --w) {
            *p++ = digitAt(w);
        }
    }
}

void AppendScientific(std::string& out, double value, int significant) {
    if (AppendNonFinite(out, value)) {
        return;
    }
    if (significant < 2) {
        significant = 2;
    } else if (significant > TDecimal18::kDigits) {
        significant = TDecimal18::kDigits;
    }
    TDecimal18 d = ExpandDecimal18(value);
    RoundAt(d, significant);
    char buf[TDecimal18::kDigits + 3];
    char* p = buf;
    if (d.Negative && !AllZero(d)) {
        *p++ = '-';
    }
    *p++ = d.Digits[0];
    *p++ = '.';
    std::memcpy(p, d.Digits.data() + 1, static_cast<std::size_t>(significant - 1));
    p += significant - 1;
    out.append(buf, p);
    AppendExponent(out, d.Exponent);
}

void AppendTruncated(std::string& out, double value) {
    if (AppendNonFinite(out, value)) {
        return;
    }
    const double t = std::trunc(value);
    if (t >= -9223372036854775808.0 && t < 9223372036854775808.0) {
        AppendInteger(out, static_cast<std::int64_t>(t));
        return;
    }
    // Beyond the 64-bit range every double is a whole number; fixed notation with no decimals is exact.
    char buf[330];
    const auto r = std::to_chars(buf, buf + sizeof buf, t, std::chars_format::fixed, 0);
    out.append(buf, r.ptr);
}

} // namespace corvane
