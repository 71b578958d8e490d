#include "common/console/console.h"

#include "common/platform/platform.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace zov {

std::string formatReal(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string formatted(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    std::string result;
    if (needed < 0) {
        result.clear();
    } else if (static_cast<std::size_t>(needed) < sizeof small) {
        result.assign(small, static_cast<std::size_t>(needed));
    } else {
        result.resize(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(result.data(), result.size(), format, args);
        result.resize(static_cast<std::size_t>(needed));
    }
    va_end(args);
    return result;
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double readReal(const char* text) {
    const char* p = text;
    while (isBlank(*p)) ++p;
    const char* start = p;
    if (*p == '+' || *p == '-') ++p;
    bool digits = false;
    while (isDigit(*p)) ++p, digits = true;
    if (*p == '.') {
        ++p;
        while (isDigit(*p)) ++p, digits = true;
    }
    if (!digits) return 0.0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        if (isDigit(*q)) {
            while (isDigit(*q)) ++q;
            p = q;
        }
    }
    // Only the decimal text itself reaches the library conversion, so "inf", "nan" and hex never do.
    std::string number(start, p);
    return std::strtod(number.c_str(), nullptr);
}

int readInteger(const char* text) {
    const char* p = text;
    while (isBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long value = 0;
    while (isDigit(*p)) {
        if (value <= 2147483648LL) value = value * 10 + (*p - '0');
        ++p;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return 2147483647;
    if (value < -2147483648LL) return -2147483647 - 1;
    return static_cast<int>(value);
}

ConsoleOut& ConsoleOut::operator<<(std::string_view text) {
    console().out(text);
    return *this;
}

ConsoleOut& ConsoleOut::operator<<(int value) { return *this << std::to_string(value); }
ConsoleOut& ConsoleOut::operator<<(unsigned value) { return *this << std::to_string(value); }
ConsoleOut& ConsoleOut::operator<<(long value) { return *this << std::to_string(value); }
ConsoleOut& ConsoleOut::operator<<(unsigned long value) { return *this << std::to_string(value); }
ConsoleOut& ConsoleOut::operator<<(long long value) { return *this << std::to_string(value); }
ConsoleOut& ConsoleOut::operator<<(unsigned long long value) { return *this << std::to_string(value); }
ConsoleOut& ConsoleOut::operator<<(double value) { return *this << formatReal(value); }

ConsoleOut& ConsoleOut::operator<<(LineEnd) {
    console().out("\n");
    console().flush();
    return *this;
}

ConsoleOut& out() {
    static ConsoleOut stream;
    return stream;
}

}  // namespace zov
