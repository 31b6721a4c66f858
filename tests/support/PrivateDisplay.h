#pragma once

#include <QProcess>
#include <QString>

namespace ombrelay::test {

// An X server of the test's own (Xvfb, 1280 x 800, no TCP); stopped when it goes away.
class PrivateDisplay
{
public:
    static bool isInstalled();
    PrivateDisplay();
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    bool isRunning() const { return !m_display.isEmpty(); }
    QString display() const { return m_display; }  // ":N"

private:
    QProcess m_server;
    QString m_display;
};

}  // namespace ombrelay::test
