#pragma once
// gzip of a text, for the tests of the input layer (ISA-L, the library that inflates).
#include <isa-l/igzip_lib.h>

#include <cstdint>
#include <string>

inline std::string gzip_of(const std::string& text) {
    isal_zstream zs;
    isal_deflate_stateless_init(&zs);
    zs.gzip_flag = IGZIP_GZIP;
    std::string out(text.size() + text.size() / 2 + 1024, '\0');
    zs.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(text.data()));
    zs.avail_in = static_cast<uint32_t>(text.size());
    zs.next_out = reinterpret_cast<uint8_t*>(out.data());
    zs.avail_out = static_cast<uint32_t>(out.size());
    isal_deflate_stateless(&zs);
    out.resize(zs.total_out);
    return out;
}
