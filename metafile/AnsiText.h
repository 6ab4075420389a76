#pragma once
// Text of the ANSI records (EMF EXTTEXTOUTA, WMF TEXTOUT and EXTTEXTOUT,
// font face names): bytes in the code page the font's character set names.

#include <QString>

#include <cstdint>
#include <vector>

namespace metafile {

// Decodes `n` bytes in the code page of GDI character set `charset`. When
// `bytesPerChar` is given it receives, for every UTF-16 unit of the result,
// how many input bytes it stands for (the second unit of a surrogate pair
// stands for none), so per-byte spacing arrays can be summed per character.
QString DecodeAnsi(const std::uint8_t* p, std::size_t n, unsigned charset, std::vector<int>* bytesPerChar = nullptr);

} // namespace metafile
