#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPointer>

class QWidget;

namespace ombrelay {

// The close button of a window that a modal window blocks: the window system's close request for it
// (WM_DELETE_WINDOW under X11) is reported, where the toolkit would drop it. Elsewhere nothing is taken.
class WindowCloseRequests : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    explicit WindowCloseRequests(QWidget* window, QObject* parent = nullptr);
    ~WindowCloseRequests() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    // On the next pass of the loop, once the request was taken.
    void closeRequested();

private:
    QPointer<QWidget> m_window;
    quint32 m_protocols = 0;
    quint32 m_deleteWindow = 0;
};

}  // namespace ombrelay
