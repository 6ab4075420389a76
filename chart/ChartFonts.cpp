#include "ChartFonts.h"

#include <QStringList>

QString DefaultChartFontName() { return QStringLiteral("Noto Sans CJK JP"); }

QFont ChartFontFace(const QString& name)
{
    QFont f;
    QStringList families;
    if (!name.isEmpty())
        families << name;
    families << QStringLiteral("Noto Sans CJK JP") << QStringLiteral("Noto Sans JP") << QStringLiteral("IPAGothic")
             << QStringLiteral("DejaVu Sans") << QStringLiteral("Sans Serif");
    families.removeDuplicates();
    f.setFamilies(families);
    f.setStyleHint(QFont::SansSerif);
    return f;
}
