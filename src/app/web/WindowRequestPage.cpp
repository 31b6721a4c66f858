#include "app/web/WindowRequestPage.h"

#include <QTimer>

namespace ombrelay {

namespace {

constexpr int kUnusedLifetimeMs = 10000;  // a request that never navigates

}  // namespace

WindowRequestPage::WindowRequestPage(QWebEngineProfile* profile, std::function<void(const QUrl&)> take,
                                     QObject* parent)
    : QWebEnginePage(profile, parent), m_take(std::move(take))
{
    QTimer::singleShot(kUnusedLifetimeMs, this, &QObject::deleteLater);
}

bool WindowRequestPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame)
{
    if (isMainFrame && m_take) {
        auto take = std::exchange(m_take, {});
        take(url);
        deleteLater();
    }
    return false;
}

}  // namespace ombrelay
