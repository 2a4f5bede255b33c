#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// An invariant of a parser: when it does not hold, the input is a finding.
// abort() makes libFuzzer save the input as a crash artifact.
#define FUZZ_CHECK(cond)                                                                                              \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

// Reads fuzz input from the front: small numbers first, the rest as bytes.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
        : data(data)
        , size(size)
    {}

    // The next byte, 0 once the input is used up.
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint16_t word() { return uint16_t(byte() | (byte() << 8)); }
    uint32_t dword() { return uint32_t(word()) | (uint32_t(word()) << 16); }
    // Up to n bytes (fewer at the end of the input).
    const uint8_t *take(size_t n, size_t *got)
    {
        *got = n < size - pos ? n : size - pos;
        const uint8_t *at = data + pos;
        pos += *got;
        return at;
    }
    [[nodiscard]] size_t remaining() const { return size - pos; }
    [[nodiscard]] const uint8_t *rest() const { return data + pos; }

private:
    const uint8_t *data;
    size_t size;
    size_t pos = 0;
};
