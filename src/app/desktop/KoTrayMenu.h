#pragma once

#include <QObject>
#include <functional>

class QMenu;

namespace ombrelay {

class KoDownloadsController;

// The tray icon's menu: the completed transfers under a heading, each revealing its content in the file
// manager, then "Clear All Completed"; below them the application's commands, where given. Built afresh
// each time the menu is about to show.
class KoTrayMenu : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTitleWidth = 320;  // pixels a title may take before it is elided

    explicit KoTrayMenu(KoDownloadsController& downloads, QObject* parent = nullptr);

    // Rebuilds `menu` before every showing.
    void attach(QMenu* menu);
    void fill(QMenu* menu);
    // "Show Ombrelay" (the window comes back) and "Quit" close the menu.
    void setApplicationCommands(std::function<void()> show, std::function<void()> quit)
    {
        m_show = std::move(show);
        m_quit = std::move(quit);
    }
    // Tests replace the file manager.
    void setRevealer(std::function<void(const QString& path)> reveal) { m_reveal = std::move(reveal); }

private:
    void fillCompleted(QMenu* menu);

    KoDownloadsController& m_downloads;
    std::function<void(const QString&)> m_reveal;
    std::function<void()> m_show;
    std::function<void()> m_quit;
};

}  // namespace ombrelay
