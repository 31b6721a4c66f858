#pragma once

#include <QMetaObject>
#include <QWidget>

namespace ombrelay {

class BandwidthPopUpButton;
class KoDownloadsController;
class PiecesView;
class PZIconView;
class RevealButton;
class ShadowedTextField;

// The strip under the transfers list: the selected torrent's icon, name, reveal button, activity and
// amounts, its two limit menus and pieces grid, and the totals of all transfers. Follows the
// selection notification and the torrent's text changes.
class TransfersInfoArea : public QWidget
{
    Q_OBJECT
public:
    explicit TransfersInfoArea(KoDownloadsController& controller, QWidget* parent = nullptr);

    PZIconView* iconView() const { return m_icon; }
    RevealButton* revealButton() const { return m_reveal; }
    PiecesView* piecesView() const { return m_pieces; }
    BandwidthPopUpButton* downloadPopUp() const { return m_downloadPopUp; }
    BandwidthPopUpButton* uploadPopUp() const { return m_uploadPopUp; }
    // Name, activity, downloaded, uploaded, download rate, upload rate.
    QList<ShadowedTextField*> torrentFields() const { return m_torrentFields; }
    // Downloaded, uploaded, download rate and upload rate of all transfers.
    QList<ShadowedTextField*> totalFields() const { return m_totalFields; }

    void selectionDidChange();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showTorrentTexts();
    void showTotals();

    KoDownloadsController& m_controller;
    PZIconView* m_icon;
    RevealButton* m_reveal;
    PiecesView* m_pieces;
    BandwidthPopUpButton* m_downloadPopUp;
    BandwidthPopUpButton* m_uploadPopUp;
    QList<ShadowedTextField*> m_torrentFields;
    QList<ShadowedTextField*> m_totalFields;
    QMetaObject::Connection m_torrentTexts;
};

}  // namespace ombrelay
