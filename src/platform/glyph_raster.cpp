#include "platform/glyph_raster.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <algorithm>

namespace bandscope {

namespace {

// 0x80 .. 0x9F; the rest of the page is Latin-1.
constexpr std::array<char16_t, 32> kCodes80To9F = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 0x88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 0x98
};

bool hasGlyph(char32_t c) {
  return c >= 0x20 && c != 0x7F;
}

bool isInk(QRgb pixel) {
  return qRed(pixel) >= 128;
}

// The character in white on black, its pen at pen.
void paintGlyph(QImage& canvas, const QFont& font, QPoint pen, const QString& text) {
  canvas.fill(Qt::black);
  QPainter painter(&canvas);
  painter.setRenderHint(QPainter::TextAntialiasing, false);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(pen, text);
}

// The smallest rectangle holding every ink pixel; empty where there is none.
QRect inkBox(const QImage& canvas) {
  int left = canvas.width(), right = -1, top = canvas.height(), bottom = -1;
  for (int y = 0; y < canvas.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
    for (int x = 0; x < canvas.width(); ++x) {
      if (!isInk(row[x])) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// The glyph's bitmap from the ink within box, bottom row first, with its origin.
void copyInk(const QImage& canvas, const QRect& box, QPoint pen, Glyph& glyph) {
  glyph.width = box.width();
  glyph.height = box.height();
  glyph.xOrigin = pen.x() - box.left();
  // The baseline runs along the top edge of image row pen.y().
  glyph.yOrigin = box.bottom() + 1 - pen.y();
  const int32_t stride = glyph.bytesPerRow();
  glyph.bits.assign(static_cast<size_t>(stride) * static_cast<size_t>(glyph.height), 0);
  for (int32_t r = 0; r < glyph.height; ++r) {
    const auto* row = reinterpret_cast<const QRgb*>(canvas.constScanLine(box.bottom() - r));
    for (int32_t i = 0; i < glyph.width; ++i) {
      if (isInk(row[box.left() + i])) {
        glyph.bits[static_cast<size_t>(r) * static_cast<size_t>(stride) +
                   static_cast<size_t>(i / 8)] |= static_cast<uint8_t>(0x80u >> (i % 8));
      }
    }
  }
}

}  // namespace

char32_t windows1252ToUnicode(uint8_t code) {
  if (code >= 0x80 && code <= 0x9F) return kCodes80To9F[code - 0x80];
  return code;
}

GlyphSet rasteriseGlyphs(const FontRequest& request) {
  QFont font(
      QString::fromUtf8(request.faceName.data(), static_cast<qsizetype>(request.faceName.size())));
  font.setPixelSize(std::max(1, request.pixelHeight));
  font.setBold(request.bold);
  // The hint lets font matching fall back to a sans face when the name is unknown.
  font.setStyleHint(QFont::SansSerif, QFont::NoAntialias);
  const QFontMetrics metrics(font);

  // Room around the pen for overhangs and for glyphs that come from a fallback font.
  const int pad = metrics.height();
  const QPoint pen(pad, pad + metrics.ascent());
  QImage canvas(metrics.maxWidth() + 3 * pad, metrics.height() + 2 * pad, QImage::Format_RGB32);

  GlyphSet set;
  for (int code = 0; code < 256; ++code) {
    const char32_t c = windows1252ToUnicode(static_cast<uint8_t>(code));
    if (!hasGlyph(c)) continue;
    const QString text(QChar(static_cast<char16_t>(c)));
    Glyph& glyph = set.glyphs[static_cast<size_t>(code)];
    glyph.xAdvance = metrics.horizontalAdvance(text);
    paintGlyph(canvas, font, pen, text);
    const QRect ink = inkBox(canvas);
    if (ink.isEmpty()) continue;  // blank, such as the space: advance only
    copyInk(canvas, ink, pen, glyph);
  }
  return set;
}

}  // namespace bandscope
