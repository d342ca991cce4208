#include "report_text.hpp"

namespace bytelace {

namespace {

char* put_digits(char* at, unsigned long long value, unsigned digits, const char* alphabet) {
    while (digits-- > 0) *at++ = alphabet[(value >> (4 * digits)) & 0xF];
    return at;
}

}  // namespace

char* put_text(char* at, const char* text) {
    while (*text != '\0') *at++ = *text++;
    return at;
}

char* put_hex(char* at, unsigned long long value, unsigned digits) {
    return put_digits(put_text(at, "0x"), value, digits, "0123456789ABCDEF");
}

char* put_lower_hex(char* at, unsigned long long value, unsigned digits) {
    return put_digits(at, value, digits, "0123456789abcdef");
}

char* put_decimal(char* at, unsigned long long value) {
    char digits[20];  // enough for any value of 64 bits
    unsigned n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) *at++ = digits[--n];
    return at;
}

char* put_line(char* at, char kind, unsigned number) {
    *at++ = kind;
    return put_decimal(at, number);
}

}  // namespace bytelace
