#include "app/toolbar/KoDownloadsToolbarDelegate.h"

#include "engine/torrent/TorrentLine.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/KoDownloadsController.h"

#include <QItemSelectionModel>
#include <QStyle>
#include <QToolButton>

namespace ombrelay {

namespace {

constexpr int kTickMs = 1000;

}  // namespace

KoDownloadsToolbarDelegate::Validation KoDownloadsToolbarDelegate::validationFor(const TorrentLineList& targets,
                                                                                 int selectedCount, int completeCount)
{
    Validation validation;
    for (const TorrentLinePtr& torrent : targets) {
        validation.pause = validation.pause || (torrent && torrent->canPause());
        validation.resume = validation.resume || (torrent && torrent->canResume());
    }
    validation.clear = completeCount >= 1;
    validation.remove = selectedCount > 0;
    return validation;
}

KoDownloadsToolbarDelegate::KoDownloadsToolbarDelegate(KoDownloadsController& downloads, QObject* parent)
    : KoToolbarDelegate(parent),
      m_downloads(downloads),
      m_pauseButton(addButton(QStringLiteral("item_pause"), tr("Pause"), tr("Pause Download"), false)),
      m_resumeButton(addButton(QStringLiteral("item_resume"), tr("Resume"), tr("Resume Download"), false)),
      m_clearButton(addButton(QStringLiteral("item_complete"), tr("Clear"), {}, true)),
      m_cancelButton(addButton(QStringLiteral("item_cancel"), tr("Remove"), {}, true))
{
    m_pauseButton->setIcon(m_pauseButton->style()->standardIcon(QStyle::SP_MediaPause));
    m_resumeButton->setIcon(m_resumeButton->style()->standardIcon(QStyle::SP_MediaPlay));
    connect(m_pauseButton, &QToolButton::clicked, this, &KoDownloadsToolbarDelegate::pause);
    connect(m_resumeButton, &QToolButton::clicked, this, &KoDownloadsToolbarDelegate::resume);
    connect(m_clearButton, &QToolButton::clicked, this, [this] {
        if (DownloadsOutlineView* view = m_downloads.outlineView())
            view->clearAllComplete();
        validate();
    });
    connect(m_cancelButton, &QToolButton::clicked, this, [this] {
        if (DownloadsOutlineView* view = m_downloads.outlineView())
            view->removeSelected();
        validate();
    });
    if (DownloadsOutlineView* view = m_downloads.outlineView(); view && view->selectionModel())
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &KoDownloadsToolbarDelegate::validate);
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &KoDownloadsToolbarDelegate::validate);
    m_tick.start();
    validate();
    registerDefaults();
}

QStringList KoDownloadsToolbarDelegate::toolbarDefaultItemIdentifiers() const
{
    return {QStringLiteral("item_search"), kSeparator, QStringLiteral("item_pause"), QStringLiteral("item_resume"),
            kFlexibleSpace, QStringLiteral("item_complete"), QStringLiteral("item_cancel")};
}

QStringList KoDownloadsToolbarDelegate::toolbarAllowedItemIdentifiers() const
{
    return {QStringLiteral("item_search"), QStringLiteral("item_pause"), QStringLiteral("item_resume"),
            QStringLiteral("item_complete"), QStringLiteral("item_cancel"), kSeparator, kFlexibleSpace, kSpace};
}

void KoDownloadsToolbarDelegate::validateVisibleItems(QToolBar&)
{
    validate();
}

QToolButton* KoDownloadsToolbarDelegate::addButton(const QString& identifier, const QString& label,
                                                   const QString& toolTip, bool fitted)
{
    auto* button = new QToolButton;
    button->setText(label);
    button->setToolTip(toolTip);
    button->setToolButtonStyle(fitted ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
    const QSize size = fitted ? button->sizeHint() : QSize(28, 25);
    addItem(identifier, button, label, size, size);
    return button;
}

TorrentLineList KoDownloadsToolbarDelegate::targets() const
{
    DownloadsOutlineView* view = m_downloads.outlineView();
    const TorrentLineList selected = view ? view->selectedTorrents() : TorrentLineList();
    return selected.isEmpty() ? m_downloads.objects() : selected;
}

void KoDownloadsToolbarDelegate::validate()
{
    DownloadsOutlineView* view = m_downloads.outlineView();
    const int selected = view ? int(view->selectedTorrents().size()) : 0;
    const Validation validation = validationFor(targets(), selected, m_downloads.numberOfComplete());
    m_pauseButton->setEnabled(validation.pause);
    m_resumeButton->setEnabled(validation.resume);
    m_clearButton->setEnabled(validation.clear);
    m_cancelButton->setEnabled(validation.remove);
}

void KoDownloadsToolbarDelegate::pause()
{
    for (const TorrentLinePtr& torrent : targets()) {
        if (torrent->canPause())
            torrent->pauseDownload();
    }
    validate();
}

void KoDownloadsToolbarDelegate::resume()
{
    for (const TorrentLinePtr& torrent : targets()) {
        if (torrent->canResume())
            torrent->retryDownload();
    }
    if (DownloadsOutlineView* view = m_downloads.outlineView()) {
        view->viewport()->update();
        view->rebuildTabView();  // resumed transfers move between the filter tabs
    }
    m_downloads.invalidateBindingsText();
    validate();
}

}  // namespace ombrelay
