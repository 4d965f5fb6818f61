// The engine's one process-wide random source. Everything random the engine
// makes (cipher IVs, encryption keys and salts, the random bytes of
// permission blocks, subset-font name prefixes, temporary names) draws from
// here. It is backed by the operating system's cryptographic generator
// through OpenSSL's RAND_bytes, so values cannot be predicted from the time
// the process started, and it is safe to call from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmo {

// Start-up step of the engine: makes sure the generator is seeded. Calling
// it is optional (every draw seeds on demand) and it may be called again.
void InitRandomGenerator();

// A uniformly distributed integer in [0, Bound); 0 when Bound is 0.
uint32_t RandomBelow(uint32_t Bound);

// Fills Buffer with Count random bytes.
void RandomBytes(void* Buffer, size_t Count);
// Count random bytes as a byte string.
std::string RandomBytes(size_t Count);

}  // namespace velmo
