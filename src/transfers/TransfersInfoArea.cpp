#include "transfers/TransfersInfoArea.h"

#include "engine/torrent/TorrentLine.h"
#include "kit/NotificationCenter.h"
#include "transfers/CurrentDownload.h"
#include "transfers/DownloadBandwidthPopUp.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/KoDownloadsController.h"
#include "transfers/PZIconView.h"
#include "transfers/PiecesView.h"
#include "transfers/RevealButton.h"
#include "transfers/UploadBandwidthPopUp.h"
#include "transfers/WhiteShadowedTextField.h"
#include "uikit/PZIconCache.h"
#include "uikit/PZText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>

namespace ombrelay {

namespace {

ShadowedTextField* field(QWidget* parent, int pixelSize, bool bold, Qt::Alignment alignment = Qt::AlignLeft)
{
    auto* label = new WhiteShadowedTextField(parent);
    label->setFont(PZText::systemFont(pixelSize, bold));
    label->setAlignment(alignment | Qt::AlignVCenter);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(45, 45, 45));
    label->setPalette(palette);
    label->setFixedHeight(label->fontMetrics().height() + 2);
    return label;
}

}  // namespace

TransfersInfoArea::TransfersInfoArea(KoDownloadsController& controller, QWidget* parent)
    : QWidget(parent), m_controller(controller)
{
    const CurrentDownload& current = controller.currentDownload();
    m_icon = new PZIconView(this);
    m_icon->setFixedSize(52, 52);
    m_reveal = new RevealButton([&controller] { return controller.outlineView()->selectedPath(); }, this);
    m_pieces = new PiecesView(current, this);
    m_downloadPopUp = new DownloadBandwidthPopUp(current, this);
    m_uploadPopUp = new UploadBandwidthPopUp(current, this);
    connect(m_icon, &PZIconView::doubleClicked, this, [&controller] { controller.outlineView()->openSelected(); });

    ShadowedTextField* name = field(this, 13, true);
    ShadowedTextField* activity = field(this, 11, false);
    ShadowedTextField* downloaded = field(this, 11, false);
    ShadowedTextField* uploaded = field(this, 11, false);
    ShadowedTextField* downloadRate = field(this, 11, false, Qt::AlignRight);
    ShadowedTextField* uploadRate = field(this, 11, false, Qt::AlignRight);
    m_torrentFields = {name, activity, downloaded, uploaded, downloadRate, uploadRate};
    for (int k = 0; k < 4; ++k)
        m_totalFields.append(field(this, 11, false, Qt::AlignRight));

    auto* nameRow = new QHBoxLayout();
    nameRow->setSpacing(4);
    nameRow->addWidget(name, 1);
    nameRow->addWidget(m_reveal);
    auto* details = new QGridLayout();
    details->setHorizontalSpacing(6);
    details->setVerticalSpacing(2);
    details->addLayout(nameRow, 0, 0, 1, 3);
    details->addWidget(activity, 1, 0, 1, 3);
    details->addWidget(downloaded, 2, 0);
    details->addWidget(downloadRate, 2, 1);
    details->addWidget(m_downloadPopUp, 2, 2);
    details->addWidget(uploaded, 3, 0);
    details->addWidget(uploadRate, 3, 1);
    details->addWidget(m_uploadPopUp, 3, 2);
    details->setColumnStretch(0, 3);
    details->setColumnStretch(1, 1);
    details->setRowStretch(4, 1);

    auto* totals = new QVBoxLayout();
    totals->setSpacing(2);
    for (ShadowedTextField* total : m_totalFields)
        totals->addWidget(total);
    totals->addStretch(1);
    auto* totalsBox = new QWidget(this);
    totalsBox->setLayout(totals);
    totalsBox->setFixedWidth(110);
    totals->setContentsMargins(0, 0, 0, 0);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 6, 8, 6);
    layout->setSpacing(10);
    layout->addWidget(m_icon, 0, Qt::AlignTop);
    layout->addLayout(details, 1);
    layout->addWidget(totalsBox);
    layout->addWidget(m_pieces, 0, Qt::AlignTop);
    setFixedHeight(m_pieces->height() + 12);

    listenForNotification(this, QString::fromLatin1(KoDownloadsController::kSelectionDidChangeNotification),
                          [this](const Notification&) { selectionDidChange(); });
    connect(&controller, &KoDownloadsController::bindingsTextChanged, this, &TransfersInfoArea::showTotals);
    selectionDidChange();
    showTotals();
}

void TransfersInfoArea::selectionDidChange()
{
    const TorrentLinePtr torrent = m_controller.currentDownload().content();
    disconnect(m_torrentTexts);
    if (torrent)
        m_torrentTexts = connect(torrent.get(), &TorrentLine::bindingTextChanged, this, &TransfersInfoArea::showTorrentTexts);
    PZIconCache& icons = PZIconCache::instance128();
    if (!torrent)
        m_icon->setImage({});
    else if (!torrent->files().isEmpty())
        m_icon->setImage(icons.folderIcon());
    else
        m_icon->setImage(icons.iconForExtension(torrent->pathExtension()));
    showTorrentTexts();
}

void TransfersInfoArea::showTorrentTexts()
{
    const TorrentLinePtr torrent = m_controller.currentDownload().content();
    const QStringList texts = torrent ? QStringList{torrent->path(), torrent->activityText(), torrent->downloadsText(),
                                                    torrent->uploadsText(), torrent->downloadsRateText(),
                                                    torrent->uploadsRateText()}
                                      : QStringList(m_torrentFields.size(), QString());
    for (int k = 0; k < m_torrentFields.size(); ++k)
        m_torrentFields[k]->setText(texts[k]);
    m_downloadPopUp->setVisible(bool(torrent));
    m_uploadPopUp->setVisible(bool(torrent));
    m_reveal->setVisible(bool(torrent));
}

void TransfersInfoArea::showTotals()
{
    const QStringList texts = {m_controller.downloadsText(), m_controller.uploadsText(),
                               m_controller.downloadsRateText(), m_controller.uploadsRateText()};
    for (int k = 0; k < m_totalFields.size(); ++k)
        m_totalFields[k]->setText(texts[k]);
}

void TransfersInfoArea::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient ground(0, 0, 0, height());
    ground.setColorAt(0, QColor(236, 236, 236));
    ground.setColorAt(1, QColor(212, 212, 212));
    painter.fillRect(rect(), ground);
    painter.fillRect(QRect(0, 0, width(), 1), QColor(150, 150, 150));
}

}  // namespace ombrelay
