#include "rom_scan.hpp"

#include <cstring>

#include "report_text.hpp"
#include "rom_faults.hpp"

namespace bytelace {

namespace {

// "<name>: <length> bytes, CRC32 <crc>, SHA-1 <sha1>, sum 0x<sum>".
char* put_sums(char* at, const char* name, unsigned long long length, const digests& d) {
    at = put_decimal(put_text(put_text(at, name), ": "), length);
    at = put_lower_hex(put_text(at, " bytes, CRC32 "), d.crc32, 8);
    at = put_text(at, ", SHA-1 ");
    for (std::size_t i = 0; i < sha1_length; ++i) at = put_lower_hex(at, d.sha1[i], 2);
    at = put_lower_hex(put_text(at, ", sum 0x"), d.sum, 4);
    return put_text(at, "\r\n");
}

char* put_finding(char* at, const char* finding, const char* name) {
    return put_text(put_text(put_text(at, finding), name), ": ");
}

bool blank(const bit_levels& held) { return (held.ones | held.zeros) == 0xFF; }

// A lane's findings: Blank, or Fixed bits and Mirrored; then Size.
char* put_findings(char* at, const char* name, const lane_scan& scan, unsigned bus) {
    bit_levels const held = levels(scan.used);
    unsigned const fixed = held.ones | held.zeros;
    if (blank(held)) {
        at = put_hex(put_text(put_finding(at, "Blank ", name), "every byte is "), scan.used[0], 2);
        at = put_text(at, "\r\n");
    } else if (fixed != 0) {
        at = put_finding(at, "Fixed bits ", name);
        const char* separator = "";
        for (unsigned bit = 0; bit < data_lines; ++bit) {
            if ((fixed >> bit & 1U) == 0) continue;
            at = put_line(put_text(at, separator), 'D', bit);
            at = put_text(at, (held.ones >> bit & 1U) != 0 ? " always 1 (bus " : " always 0 (bus ");
            at = put_text(put_line(at, 'D', bit + bus), ")");
            separator = ", ";
        }
        at = put_text(at, "\r\n");
    }
    unsigned mirrored = 0;
    for (unsigned line = 0; !blank(held) && line < address_lines; ++line) {
        if (!address_held(scan.used, scan.used, line, 0)) continue;
        at = mirrored++ == 0 ? put_finding(at, "Mirrored ", name) : put_text(at, ", ");
        at = put_line(at, 'A', line);
    }
    if (mirrored != 0)
        at = put_text(at, mirrored == 1 ? " changes nothing\r\n" : " change nothing\r\n");

    if (scan.length == lane_length) return at;
    at = put_text(put_decimal(put_finding(at, "Size ", name), scan.length), " bytes, offsets ");
    if (scan.length < lane_length) {
        at = put_decimal(at, scan.length);
        at = put_decimal(put_text(at, " to "), lane_length - 1);
        at = put_hex(put_text(at, " read as "), filler_byte, 2);
    } else {
        at = put_text(put_decimal(put_text(at, "from "), lane_length), " on unused, ");
        // The trap of a chip read as a larger one, its data in the upper half.
        bool const upper = !scan.repeats && blank(held) && scan.used[0] == filler_byte;
        at = put_text(at, scan.repeats ? "they repeat the first "
                          : upper      ? "and the first "
                                       : "they differ from the first ");
        at = put_decimal(at, lane_length);
        if (upper) at = put_hex(put_text(at, " are "), filler_byte, 2);
    }
    return put_text(at, "\r\n");
}

}  // namespace

lane_scan no_lane() {
    lane_scan scan{no_bytes(), 0, true, {}};
    std::memset(scan.used, filler_byte, lane_length);
    return scan;
}

void scan_bytes(lane_scan& scan, const unsigned char* bytes, std::size_t n) {
    take_bytes(scan.sums, bytes, n);
    while (n > 0) {
        auto const at = static_cast<std::size_t>(scan.length % lane_length);
        std::size_t const part = lane_length - at < n ? lane_length - at : n;
        if (scan.length < lane_length) {
            std::memcpy(scan.used + at, bytes, part);
        } else if (scan.repeats) {
            scan.repeats = std::memcmp(scan.used + at, bytes, part) == 0;
        }
        scan.length += part;
        bytes += part;
        n -= part;
    }
}

bool scan_report(const lane_scan& low, const lane_scan& high, char* report) {
    unsigned char image[image_length];
    join_lanes(low.used, high.used, image);
    checksums joined = no_bytes();
    take_bytes(joined, image, image_length);
    char* at = put_sums(report, "low_byte_file", low.length, finish(low.sums));
    at = put_sums(at, "high_byte_file", high.length, finish(high.sums));
    at = put_sums(at, "image", image_length, finish(joined));
    char* const findings = at;
    at = put_findings(at, "low_byte_file", low, 0);
    at = put_findings(at, "high_byte_file", high, data_lines);
    // One chip read twice; two blank ones have said so already.
    if (!blank(levels(low.used)) && std::memcmp(low.used, high.used, lane_length) == 0) {
        at = put_text(at, "Same lanes: low_byte_file and high_byte_file hold the same ");
        at = put_text(put_decimal(at, lane_length), " bytes\r\n");
    }
    *at = '\0';
    return at != findings;
}

}  // namespace bytelace
