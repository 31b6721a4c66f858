#pragma once

#include <QObject>
#include <functional>

class QMenu;

namespace ombrelay {

class KoDownloadsController;

// The tray icon's menu: the completed transfers under a heading, each revealing its content in the file
// manager, then "Clear All Completed". Built afresh each time the menu is about to show.
class KoTrayMenu : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTitleWidth = 320;  // pixels a title may take before it is elided

    explicit KoTrayMenu(KoDownloadsController& downloads, QObject* parent = nullptr);

    // Rebuilds `menu` before every showing.
    void attach(QMenu* menu);
    void fill(QMenu* menu);
    // Tests replace the file manager.
    void setRevealer(std::function<void(const QString& path)> reveal) { m_reveal = std::move(reveal); }

private:
    KoDownloadsController& m_downloads;
    std::function<void(const QString&)> m_reveal;
};

}  // namespace ombrelay
