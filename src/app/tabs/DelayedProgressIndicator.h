#pragma once

#include <QTimer>
#include <QWidget>

namespace ombrelay {

// A tab's loading spinner. It shows at once but hides only 0.6 s after it was told to stop, so a stop
// followed by a start within that time never flickers.
class DelayedProgressIndicator : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kStopDelayMs = 600;

    explicit DelayedProgressIndicator(QWidget* parent = nullptr);

    bool isAnimating() const { return m_isAnimating; }
    void setIsAnimating(bool animating);
    void startAnimation();
    void stopAnimation();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setRunning(bool running);

    QTimer m_frameTimer;
    int m_frame = 0;
    bool m_isAnimating = false;
    bool m_wanted = false;
};

}  // namespace ombrelay
