// printf-style formatting into a std::string: the system's fixed number
// formats ("%6.4lf", "%4.1lf", "%lf", ...) are defined in printf terms.
#pragma once

#include <string>

#if defined(__GNUC__)
#define RV_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#else
#define RV_PRINTF_LIKE(f, a)
#endif

std::string StrFormat(const char* fmt, ...) RV_PRINTF_LIKE(1, 2);

// Appends v exactly as printf's "%<width>.<precision>lf" writes it (right
// aligned, padded with blanks to width). Several times faster than going
// through printf; used where many numbers are written.
void AppendFixed(std::string& out, double v, int width, int precision);
