#pragma once
// Record types of the enhanced metafile format (EMF), shared by the writer
// and the player. Values as the format defines them.

#include <cstdint>

namespace emf {

enum RecordType : std::uint32_t {
    EMR_HEADER = 1,
    EMR_POLYBEZIER = 2,
    EMR_POLYGON = 3,
    EMR_POLYLINE = 4,
    EMR_POLYBEZIERTO = 5,
    EMR_POLYLINETO = 6,
    EMR_POLYPOLYLINE = 7,
    EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9,
    EMR_SETWINDOWORGEX = 10,
    EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12,
    EMR_SETBRUSHORGEX = 13,
    EMR_EOF = 14,
    EMR_SETPIXELV = 15,
    EMR_SETMAPPERFLAGS = 16,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_SETROP2 = 20,
    EMR_SETSTRETCHBLTMODE = 21,
    EMR_SETTEXTALIGN = 22,
    EMR_SETCOLORADJUSTMENT = 23,
    EMR_SETTEXTCOLOR = 24,
    EMR_SETBKCOLOR = 25,
    EMR_OFFSETCLIPRGN = 26,
    EMR_MOVETOEX = 27,
    EMR_SETMETARGN = 28,
    EMR_EXCLUDECLIPRECT = 29,
    EMR_INTERSECTCLIPRECT = 30,
    EMR_SCALEVIEWPORTEXTEX = 31,
    EMR_SCALEWINDOWEXTEX = 32,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SETWORLDTRANSFORM = 35,
    EMR_MODIFYWORLDTRANSFORM = 36,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_ANGLEARC = 41,
    EMR_ELLIPSE = 42,
    EMR_RECTANGLE = 43,
    EMR_ROUNDRECT = 44,
    EMR_ARC = 45,
    EMR_CHORD = 46,
    EMR_PIE = 47,
    EMR_SELECTPALETTE = 48,
    EMR_CREATEPALETTE = 49,
    EMR_SETPALETTEENTRIES = 50,
    EMR_RESIZEPALETTE = 51,
    EMR_REALIZEPALETTE = 52,
    EMR_EXTFLOODFILL = 53,
    EMR_LINETO = 54,
    EMR_ARCTO = 55,
    EMR_POLYDRAW = 56,
    EMR_SETARCDIRECTION = 57,
    EMR_SETMITERLIMIT = 58,
    EMR_BEGINPATH = 59,
    EMR_ENDPATH = 60,
    EMR_CLOSEFIGURE = 61,
    EMR_FILLPATH = 62,
    EMR_STROKEANDFILLPATH = 63,
    EMR_STROKEPATH = 64,
    EMR_FLATTENPATH = 65,
    EMR_WIDENPATH = 66,
    EMR_SELECTCLIPPATH = 67,
    EMR_ABORTPATH = 68,
    EMR_COMMENT = 70,
    EMR_FILLRGN = 71,
    EMR_FRAMERGN = 72,
    EMR_INVERTRGN = 73,
    EMR_PAINTRGN = 74,
    EMR_EXTSELECTCLIPRGN = 75,
    EMR_BITBLT = 76,
    EMR_STRETCHBLT = 77,
    EMR_MASKBLT = 78,
    EMR_PLGBLT = 79,
    EMR_SETDIBITSTODEVICE = 80,
    EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTA = 83,
    EMR_EXTTEXTOUTW = 84,
    EMR_POLYBEZIER16 = 85,
    EMR_POLYGON16 = 86,
    EMR_POLYLINE16 = 87,
    EMR_POLYBEZIERTO16 = 88,
    EMR_POLYLINETO16 = 89,
    EMR_POLYPOLYLINE16 = 90,
    EMR_POLYPOLYGON16 = 91,
    EMR_POLYDRAW16 = 92,
    EMR_CREATEMONOBRUSH = 93,
    EMR_CREATEDIBPATTERNBRUSHPT = 94,
    EMR_EXTCREATEPEN = 95,
    EMR_POLYTEXTOUTA = 96,
    EMR_POLYTEXTOUTW = 97,
    EMR_SETICMMODE = 98,
    EMR_CREATECOLORSPACE = 99,
    EMR_SETCOLORSPACE = 100,
    EMR_DELETECOLORSPACE = 101,
    EMR_GLSRECORD = 102,
    EMR_GLSBOUNDEDRECORD = 103,
    EMR_PIXELFORMAT = 104,
    EMR_DRAWESCAPE = 105,
    EMR_EXTESCAPE = 106,
    EMR_SMALLTEXTOUT = 108,
    EMR_FORCEUFIMAPPING = 109,
    EMR_NAMEDESCAPE = 110,
    EMR_COLORCORRECTPALETTE = 111,
    EMR_SETICMPROFILEA = 112,
    EMR_SETICMPROFILEW = 113,
    EMR_ALPHABLEND = 114,
    EMR_SETLAYOUT = 115,
    EMR_TRANSPARENTBLT = 116,
    EMR_GRADIENTFILL = 118,
    EMR_SETLINKEDUFIS = 119,
    EMR_SETTEXTJUSTIFICATION = 120,
    EMR_COLORMATCHTOTARGETW = 121,
    EMR_CREATECOLORSPACEW = 122,
};

// The header record's signature: " EMF" read as a little-endian number.
constexpr std::uint32_t kEmfSignature = 0x464D4520;
// Stock objects are selected by index with the high bit set.
constexpr std::uint32_t kStockObject = 0x80000000;

// Constants of the records' fields, as the format defines them.

// Stock objects (select with kStockObject | index).
constexpr std::uint32_t WHITE_BRUSH = 0;
constexpr std::uint32_t NULL_BRUSH = 5;
constexpr std::uint32_t BLACK_PEN = 7;
constexpr std::uint32_t NULL_PEN = 8;
constexpr std::uint32_t SYSTEM_FONT = 13;
constexpr std::uint32_t DEFAULT_GUI_FONT = 17;

// Pen styles, end caps, joins and types.
constexpr std::uint32_t PS_SOLID = 0;
constexpr std::uint32_t PS_DASH = 1;
constexpr std::uint32_t PS_DOT = 2;
constexpr std::uint32_t PS_DASHDOT = 3;
constexpr std::uint32_t PS_DASHDOTDOT = 4;
constexpr std::uint32_t PS_NULL = 5;
constexpr std::uint32_t PS_USERSTYLE = 7;
constexpr std::uint32_t PS_STYLE_MASK = 0xF;
constexpr std::uint32_t PS_ENDCAP_ROUND = 0x000;
constexpr std::uint32_t PS_ENDCAP_SQUARE = 0x100;
constexpr std::uint32_t PS_ENDCAP_FLAT = 0x200;
constexpr std::uint32_t PS_ENDCAP_MASK = 0xF00;
constexpr std::uint32_t PS_JOIN_ROUND = 0x0000;
constexpr std::uint32_t PS_JOIN_BEVEL = 0x1000;
constexpr std::uint32_t PS_JOIN_MITER = 0x2000;
constexpr std::uint32_t PS_JOIN_MASK = 0xF000;
constexpr std::uint32_t PS_COSMETIC = 0x00000;
constexpr std::uint32_t PS_GEOMETRIC = 0x10000;

// Brush styles and hatches.
constexpr std::uint32_t BS_SOLID = 0;
constexpr std::uint32_t BS_NULL = 1;
constexpr std::uint32_t BS_HATCHED = 2;
constexpr std::uint32_t HS_HORIZONTAL = 0;
constexpr std::uint32_t HS_VERTICAL = 1;
constexpr std::uint32_t HS_FDIAGONAL = 2;
constexpr std::uint32_t HS_BDIAGONAL = 3;
constexpr std::uint32_t HS_CROSS = 4;
constexpr std::uint32_t HS_DIAGCROSS = 5;

// Device context modes.
constexpr std::uint32_t MM_TEXT = 1;
constexpr std::uint32_t MM_ANISOTROPIC = 8;
constexpr std::uint32_t TRANSPARENT = 1;
constexpr std::uint32_t OPAQUE = 2;
constexpr std::uint32_t ALTERNATE = 1;
constexpr std::uint32_t WINDING = 2;
constexpr std::uint32_t TA_BASELINE = 24;
constexpr std::uint32_t GM_ADVANCED = 2;
constexpr std::uint32_t MWT_IDENTITY = 1;
constexpr std::uint32_t COLORONCOLOR = 3;
constexpr std::uint32_t HALFTONE = 4;

// Clipping region modes.
constexpr std::uint32_t RGN_AND = 1;
constexpr std::uint32_t RGN_OR = 2;
constexpr std::uint32_t RGN_XOR = 3;
constexpr std::uint32_t RGN_DIFF = 4;
constexpr std::uint32_t RGN_COPY = 5;

// Bitmaps.
constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t DIB_RGB_COLORS = 0;
constexpr std::uint32_t SRCCOPY = 0x00CC0020;
constexpr std::uint8_t AC_SRC_OVER = 0;
constexpr std::uint8_t AC_SRC_ALPHA = 1;

// Fonts.
constexpr std::uint8_t DEFAULT_CHARSET = 1;
constexpr std::uint8_t ANTIALIASED_QUALITY = 4;
constexpr int LF_FACESIZE = 32;
constexpr int LF_FULLFACESIZE = 64;

// Fixed sizes of the records this project writes and reads.
constexpr std::uint32_t kHeaderSize = 108;          // with both header extensions
constexpr std::uint32_t kEofSize = 20;
constexpr std::uint32_t kLogFontWSize = 92;
constexpr std::uint32_t kLogFontPanoseSize = 320;
constexpr std::uint32_t kBitmapInfoHeaderSize = 40;
constexpr std::uint32_t kStretchDiBitsHeadSize = 80; // up to the bitmap info
constexpr std::uint32_t kAlphaBlendHeadSize = 108;   // up to the bitmap info
constexpr std::uint32_t kExtTextOutWHeadSize = 76;   // up to the string

} // namespace emf
