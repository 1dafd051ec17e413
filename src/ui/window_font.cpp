#include "ui/window_font.h"

#include <QFontInfo>
#include <QString>
#include <QStringList>

namespace ictalscope {

QFont WindowFont() {
  QFont font;
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                    QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  // A stand-in font is wider than the narrow face whose widths the labels were placed for: its
  // condensed face, where the platform has one.
  if (!QFontInfo(font).family().endsWith(QLatin1String("Sans Serif"))) {
    font.setStretch(QFont::SemiCondensed);
  }
  return font;
}

}  // namespace ictalscope
