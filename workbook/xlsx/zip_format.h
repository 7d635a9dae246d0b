// SPDX-License-Identifier: MIT
// Record signatures and limits of the zip format, shared by the reader and
// the writer.
#pragma once

#include <cstdint>

namespace workbook::xlsx {

inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
inline constexpr std::uint32_t kEndSignature = 0x06054b50;
inline constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
inline constexpr std::uint16_t kZip64ExtraId = 0x0001;
// A 32-bit size or offset field at this value means: see the zip64 record.
inline constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;

}  // namespace workbook::xlsx
