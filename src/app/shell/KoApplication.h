#pragma once

#include <QApplication>
#include <functional>

namespace ombrelay {

// The application object: an exception escaping an event handler is logged and the loop goes on, and a
// Ctrl+click anywhere first runs the hook that closes the search suggestions.
class KoApplication : public QApplication
{
    Q_OBJECT
public:
    KoApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
    void setControlClickHook(std::function<void()> hook) { m_controlClick = std::move(hook); }

    // What notify does around the delivery, for any delivering function.
    static bool deliverGuarded(const std::function<bool()>& deliver);
    // A left-button press with Ctrl held, as a widget receives it.
    static bool isControlClick(const QObject* receiver, const QEvent* event);

private:
    std::function<void()> m_controlClick;
};

}  // namespace ombrelay
