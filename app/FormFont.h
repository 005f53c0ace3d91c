#pragma once
// The windows' common font: a small sans serif of 8 points.
#include <QFont>

namespace qrp {

inline QFont FormFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPointSize(8);
    return font;
}

} // namespace qrp
