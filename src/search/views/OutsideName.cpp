#include "search/views/OutsideName.h"

namespace ombrelay {

QString OutsideName::oneLine(const QString& name)
{
    QString line = name.left(kMaxLength);
    if (line.size() > 0 && line.back().isHighSurrogate())
        line.chop(1);
    for (QChar& c : line) {
        const auto category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    }
    return line;
}

}  // namespace ombrelay
