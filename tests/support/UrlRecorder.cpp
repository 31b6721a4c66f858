#include "support/UrlRecorder.h"

#include <QDesktopServices>

namespace ombrelay::test {

UrlRecorder::UrlRecorder(QStringList schemes) : m_schemes(std::move(schemes))
{
    for (const QString& scheme : m_schemes)
        QDesktopServices::setUrlHandler(scheme, this, "open");
}

UrlRecorder::~UrlRecorder()
{
    for (const QString& scheme : m_schemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

}  // namespace ombrelay::test
