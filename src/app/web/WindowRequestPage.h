#pragma once

#include <QWebEnginePage>
#include <functional>

namespace ombrelay {

// The page a new-window request gets: it is never shown; its first navigation goes to `take` and it then
// deletes itself.
class WindowRequestPage : public QWebEnginePage
{
    Q_OBJECT
public:
    WindowRequestPage(QWebEngineProfile* profile, std::function<void(const QUrl&)> take, QObject* parent);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    std::function<void(const QUrl&)> m_take;
};

}  // namespace ombrelay
