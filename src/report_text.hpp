// Writing the programs' lines into a buffer without printf, which the page's module does not
// have and which would double the size of a Windows program. Each function writes at `at` and
// returns the end of what it wrote.
#pragma once

namespace bytelace {

char* put_text(char* at, const char* text);

// "0x" and the value's lowest `digits` hexadecimal digits, in capitals, as the programs give
// addresses and bytes.
char* put_hex(char* at, unsigned long long value, unsigned digits);

// The value's lowest `digits` hexadecimal digits in lower case, as checksums are written.
char* put_lower_hex(char* at, unsigned long long value, unsigned digits);

char* put_decimal(char* at, unsigned long long value);

// A line's name and number, such as D10 or A12.
char* put_line(char* at, char kind, unsigned number);

}  // namespace bytelace
