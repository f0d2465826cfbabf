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
