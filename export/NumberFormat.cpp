#include "export/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>

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

void AppendExponent(std::string& out, int exponent) {
    out += 'E';
    out += exponent < 0 ? '-' : '+';
    const int e = exponent < 0 ? -exponent : exponent;
    char buf[8];
    const int n = std::snprintf(buf, sizeof buf, "%04d", e);
    out.append(buf, static_cast<std::size_t>(n));
}

} // namespace

TDecimal18 ExpandDecimal18(double value) {
    TDecimal18 d;
    d.Digits.fill('0');
    if (value == 0 || !std::isfinite(value)) {
        return d;
    }
    d.Negative = std::signbit(value);
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
    for (int w = d.Exponent > 0 ? d.Exponent : 0; w >= 0; --w) {
        out += digitAt(w);
    }
    if (decimals > 0) {
        out += '.';
        for (int w = -1; w >= -decimals; --w) {
            out += digitAt(w);
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
    if (d.Negative && !AllZero(d)) {
        out += '-';
    }
    out += d.Digits[0];
    out += '.';
    out.append(d.Digits.data() + 1, static_cast<std::size_t>(significant - 1));
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
