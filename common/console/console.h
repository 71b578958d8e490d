// Console lines and number formatting shared by both tools. A line is put together piece by piece and
// flushed as soon as it ends; integers print in plain decimal and reals in the %g form.
#pragma once

#include <string>
#include <string_view>

namespace zov {

/// A real in the general format with six significant digits ("%g"); non-finite values print as
/// "inf", "-inf" or "nan".
std::string formatReal(double value);

/// printf-style formatting into a string.
std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// A decimal number with optional sign, fraction and exponent after optional blanks; reading stops at the
/// first character that does not fit and nothing readable gives 0.
double readReal(const char* text);
/// A decimal whole number read the same way ("8.9" gives 8); values beyond the int range saturate.
int readInteger(const char* text);

/// Marks the end of a console line.
struct LineEnd {};
inline constexpr LineEnd eol{};

/// Writes pieces of console lines to standard output through the current Console.
class ConsoleOut {
public:
    ConsoleOut& operator<<(std::string_view text);
    ConsoleOut& operator<<(const char* text) { return *this << std::string_view(text); }
    ConsoleOut& operator<<(const std::string& text) { return *this << std::string_view(text); }
    ConsoleOut& operator<<(int value);
    ConsoleOut& operator<<(unsigned value);
    ConsoleOut& operator<<(long value);
    ConsoleOut& operator<<(unsigned long value);
    ConsoleOut& operator<<(long long value);
    ConsoleOut& operator<<(unsigned long long value);
    ConsoleOut& operator<<(double value);
    /// Ends the line: writes a line feed and flushes.
    ConsoleOut& operator<<(LineEnd);
    // Characters and flags are too easily printed by mistake: say which form is meant.
    ConsoleOut& operator<<(char) = delete;
    ConsoleOut& operator<<(signed char) = delete;
    ConsoleOut& operator<<(unsigned char) = delete;
    ConsoleOut& operator<<(bool) = delete;
};

/// Standard output, for console lines: out() << "Directory: " << path << eol;
ConsoleOut& out();

}  // namespace zov
