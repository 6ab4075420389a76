#pragma once
// Reads a background picture file for the plot area. The file's extension,
// compared without regard to case, chooses the decoder: bmp, ico, png, tif
// and tiff through Qt's image readers, emf and wmf through the metafile
// player. Every file is untrusted: sizes are checked before anything large
// is allocated, and a file that is not a valid image of its kind is refused.

#include <QString>

class TChartPicture;

// The most memory one decoded picture may take, in megabytes.
constexpr int kPictureAllocationLimitMb = 256;

// Loads `path` into `into`, replacing what it held. Throws EInvalidGraphic
// for an unknown extension or a broken file, EFOpenError for a file that
// cannot be opened; `into` is left untouched whenever it throws.
void LoadPictureFile(const QString& path, TChartPicture& into);

