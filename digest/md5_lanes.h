// Several independent MD5 digests advanced together, one digest in each 32-bit lane of the
// processor's vector registers. Each block of MD5 depends on the one before, so one message
// cannot be hashed faster than one block after another; separate messages can share the
// vector instructions at no extra cost.
#pragma once

#include <cstddef>
#include <cstdint>

// The instruction sets a lane routine exists for, narrowest first.
enum class md5_isa { scalar, sse2, avx2, avx512 };

constexpr md5_isa md5_isas[] = {md5_isa::scalar, md5_isa::sse2, md5_isa::avx2, md5_isa::avx512};

constexpr std::size_t md5_max_lanes = 16;

// Lanes per call: 1, 4, 8 and 16.
std::size_t md5_lane_count(md5_isa isa);

// "scalar", "sse2", "avx2", "avx512".
const char* md5_isa_name(md5_isa isa);

// True when this build has the routine and the processor and the system run it (the system
// must save the wider registers on a thread switch).
bool md5_isa_available(md5_isa isa);

// The widest available instruction set; scalar at worst.
md5_isa md5_best_isa();

// Advances `count` independent digests by `blocks` whole 64-byte blocks each: the chaining
// words states[i] (four words, as in md5_context::state) take in the 64 * blocks bytes at
// data[i]. `count` is at most md5_lane_count(isa), and the isa must be available.
void md5_lanes_update(md5_isa isa, std::uint32_t* const states[], const unsigned char* const data[],
                      std::size_t count, std::size_t blocks);

// Completes a digest whose first `blocks` whole blocks are already in `state`: the last
// `size` bytes of the message follow at `tail`. Writes the 16 digest bytes.
void md5_lanes_finish(const std::uint32_t state[4], std::uint64_t blocks, const unsigned char* tail,
                      std::size_t size, unsigned char (&digest)[16]);

// The per-instruction-set routines behind md5_lanes_update, each in a file of its own that
// is compiled for its instruction set. `count` is at most their lane count.
void md5_lanes_sse2(std::uint32_t* const states[], const unsigned char* const data[], std::size_t count,
                    std::size_t blocks);
void md5_lanes_avx2(std::uint32_t* const states[], const unsigned char* const data[], std::size_t count,
                    std::size_t blocks);
void md5_lanes_avx512(std::uint32_t* const states[], const unsigned char* const data[], std::size_t count,
                      std::size_t blocks);
