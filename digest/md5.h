// MD5 message digest (RFC 1321): the running state and the functions that feed it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct md5_context {
    std::uint32_t bit_count[2];  // bits fed so far, low word first
    std::uint32_t state[4];      // chaining words A, B, C, D
    // Bytes of the current incomplete block; the fill level is (bit_count[0] / 8) % 64.
    unsigned char buffer[64];
    unsigned char digest[16];  // written by md5_final
};

void md5_init(md5_context& context);

void md5_update(md5_context& context, const void* data, std::uint32_t size);

// Pads the message, processes the last block and writes context.digest.
void md5_final(md5_context& context);

// One compression step: folds the 16 message words of a block into the chaining words.
void md5_transform(std::uint32_t state[4], const std::uint32_t words[16]);

// Compresses `blocks` consecutive 64-byte blocks of a message into the chaining words.
void md5_compress_blocks(std::uint32_t state[4], const unsigned char* bytes, std::size_t blocks);

// The 16 digest bytes as 32 lowercase hexadecimal characters, first byte first.
std::string md5_digest_text(const unsigned char (&digest)[16]);

// The digest text of the `size` bytes at `data`.
std::string md5_text_of(const void* data, std::size_t size);

// True for 32 lowercase hexadecimal characters, the form md5_digest_text writes.
bool is_digest_text(const std::string& text);
