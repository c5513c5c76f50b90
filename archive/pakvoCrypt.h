// Checksums and the traditional ZIP encryption (PKWARE's three-key stream cipher). The key state
// is process-wide: one encrypted entry is processed from start to end before the next begins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// ---- Checksums ----

// The ZIP CRC-32 table (reflected polynomial 0xEDB88320).
const uint32_t* Crc32Table();
// The ARC CRC-16 table (reflected polynomial 0xA001).
const uint16_t* Crc16Table();

// Feeds bytes through a running CRC-32 register (start 0xFFFFFFFF, invert at the end).
void UpdateCrc32(const void* buffer, size_t count, uint32_t& crc);
inline uint32_t UpdateCrc32Byte(uint8_t b, uint32_t crc) {
  return Crc32Table()[(crc ^ b) & 0xFF] ^ (crc >> 8);
}
// Feeds bytes through a running CRC-16 register (start 0, no final inversion); the register is
// kept in 32 bits.
void UpdateCrc16(const void* buffer, size_t count, uint32_t& crc);
// The finished CRC-32 of a buffer.
uint32_t Crc32Of(const void* buffer, size_t count);

// ---- Traditional encryption ----

constexpr int kEncryptionHeaderSize = 12;

void UpdateKeys(uint8_t plain);
// Resets the keys and feeds every byte of the password through UpdateKeys.
void InitKeys(std::string_view password);
// The next key-stream byte; the keys stay as they are.
uint8_t DecryptByte();
void DecryptBuffer(void* buffer, size_t count);
void EncryptBuffer(void* buffer, size_t count);
uint8_t EncryptByte(uint8_t plain);

// The 12-byte encryption header of an entry whose CRC-32 is crc: ten random bytes and the CRC's
// two top bytes, encrypted with the password. The keys are then ready for the entry's data.
std::string MakeEncryptionHeader(std::string_view password, uint32_t crc);
// Decrypts a stored 12-byte header and compares its last byte with the CRC's top byte, or, when
// general-purpose bit 3 is set, with the high byte of the DOS time. False for an empty password.
// On success the keys are ready to decrypt the entry's data.
bool CheckEncryptionHeader(const void* header, uint16_t flags, uint32_t crc, uint16_t dosTime,
                           std::string_view password);
