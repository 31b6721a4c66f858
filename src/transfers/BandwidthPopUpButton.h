#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <memory>

#include <QMenu>

namespace ombrelay {

class CurrentDownload;
class TorrentLine;

// A small arrow button whose menu sets one of the selected torrent's own limits (the key a subclass
// names): 0 the global limit, -1 none, n a limit of n kB/s. A new menu is built on every press for the
// torrent selected then; a choice goes to that torrent while it is still listed.
class BandwidthPopUpButton : public QAbstractButton
{
    Q_OBJECT
public:
    static constexpr int kNoTag = -99999;

    explicit BandwidthPopUpButton(const CurrentDownload& currentDownload, QWidget* parent = nullptr);
    ~BandwidthPopUpButton() override;

    virtual QString limitText() const { return {}; }
    virtual QString limitKey() const { return {}; }

    // The menu for the selected torrent (replacing the last one); null with no selection.
    QMenu* buildMenu();
    QMenu* menu() const { return m_menu; }
    // Sets the menu's torrent's limit to the item's tag.
    void action(QAction* item);
    bool isMouseOver() const { return m_isMouseOver; }
    // The selected torrent's value for the key; 0 with no selection.
    int currentValue() const;

    // The torrent's limit named by a key ("customDownloadLimit" or "customUploadLimit").
    static int limitValue(const TorrentLine& torrent, const QString& key);
    static void setLimitValue(TorrentLine& torrent, const QString& key, int value);

    QSize sizeHint() const override { return {30, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    const CurrentDownload& m_currentDownload;
    QPointer<QMenu> m_menu;
    std::weak_ptr<TorrentLine> m_menuTorrent;
    bool m_isMouseOver = false;
};

}  // namespace ombrelay
