#pragma once

#include <QString>

namespace ombrelay {

// Names that come from outside (torrent names, feed titles) as the lists draw them: one line, control
// characters as spaces, and no more than a bounded prefix laid out or highlighted.
class OutsideName
{
public:
    static constexpr int kMaxLength = 512;
    static QString oneLine(const QString& name);
};

}  // namespace ombrelay
