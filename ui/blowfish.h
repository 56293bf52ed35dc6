// The Blowfish block cipher: 64-bit blocks, 16 rounds, keys of 1 to 56
// bytes. Blocks are big-endian: bytes 0 to 3 form the left half (byte 0 most
// significant), bytes 4 to 7 the right half. Buffers are processed in
// electronic-codebook mode, every 8-byte block on its own.
//
// Misuse (an empty key, a buffer length of 0 or not a multiple of 8) throws
// BlowfishError carrying "Incorrect key length" or "Incorrect buffer length".
// These are the only exceptions of the program, and its own calls never
// raise them: the branding decoder uses a fixed key and stored lengths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

class BlowfishError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class BlowfishCipher {
public:
    // Keys longer than 56 bytes are cut to 56; an empty key throws.
    BlowfishCipher(const unsigned char* key, std::size_t keyLength);

    // One block as two big-endian halves, in place.
    void EncipherBlock(std::uint32_t& left, std::uint32_t& right) const;
    void DecipherBlock(std::uint32_t& left, std::uint32_t& right) const;

    // length bytes from input to output, block by block. input and output may
    // be the same buffer. The length must be a nonzero multiple of 8.
    void Encipher(const unsigned char* input, unsigned char* output, std::size_t length) const;
    void Decipher(const unsigned char* input, unsigned char* output, std::size_t length) const;

    static constexpr std::size_t kBlockSize = 8;
    static constexpr std::size_t kMaxKeyLength = 56;

private:
    std::uint32_t Round(std::uint32_t x) const;

    std::uint32_t m_p[18];
    std::uint32_t m_s[4][256];
};
