// Reads fuzz input front to back; past the end every read yields zeros, so
// any input, however short, is a complete case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

class ByteReader {
public:
    ByteReader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    template <typename T> T value()
    {
        unsigned char raw[sizeof(T)] = {};
        for (auto &b : raw)
            b = byte();
        T v;
        std::memcpy(&v, raw, sizeof v);
        return v;
    }

    void bytes(void *out, std::size_t n)
    {
        auto *p = static_cast<std::uint8_t *>(out);
        for (std::size_t i = 0; i < n; ++i)
            p[i] = byte();
    }

    std::size_t left() const { return size_ - pos_; }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Stops the run with a message naming the broken property; libFuzzer saves
// the input that did it.
#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                              \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)
