#pragma once

#include <QProcess>
#include <QProcessEnvironment>
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

// This test program run again on the display for the tests `filter` names (disabled ones too, as the
// tests meant only for a display are); killed if it still runs when this goes away.
class DisplayChild
{
public:
    DisplayChild(const PrivateDisplay& display, const QString& filter,
                 QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());
    ~DisplayChild();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // True when it ended in time, and every test it ran passed (at least one); its output goes to stderr.
    bool passes(int timeoutMs = 60000);

private:
    QProcess m_process;
};

// The tests `filter` names, run by a child of this program on a display of its own, all pass within
// timeoutMs; skips the calling test where Xvfb is not installed.
void expectPassOnPrivateDisplay(const QString& filter, const QProcessEnvironment& environment, int timeoutMs);

}  // namespace ombrelay::test
