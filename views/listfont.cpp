#include "views/listfont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

QFont listFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    if (QFontInfo(font).fixedPitch())
        return font;
    const QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (QFontInfo(system).fixedPitch())
        return system;
    // Some platforms (the offscreen one among them) name no fixed font of
    // their own: take the first installed family that is one.
    const QStringList families = QFontDatabase::families();
    for (const QString &family : families) {
        if (QFontDatabase::isFixedPitch(family) && !QFontDatabase::isPrivateFamily(family)) {
            QFont fixed(family);
            fixed.setPointSize(system.pointSize() > 0 ? system.pointSize() : 9);
            return fixed;
        }
    }
    return system;
}
