#include "app/toolbar/QueryToolbarDelegate.h"

namespace ombrelay {

namespace {

constexpr int kTickMs = 1000;

}  // namespace

QueryToolbarDelegate::QueryToolbarDelegate(ResultsPaneLookup lookup, QObject* parent)
    : KoToolbarDelegate(parent),
      m_downloadButton(new DownloadButton(lookup)),
      m_refreshButton(new RefreshButton(lookup)),
      m_viewModeButton(new ViewModeButton)
{
    addItem(QStringLiteral("item_download"), m_downloadButton, tr("Download"), m_downloadButton->size(),
            m_downloadButton->size());
    addItem(QStringLiteral("item_refresh"), m_refreshButton, tr("Refresh"), {28, 25}, {28, 25});
    addItem(QStringLiteral("item_mode"), m_viewModeButton, tr("View Mode"), {57, 25}, {57, 25});
    connect(m_downloadButton, &QToolButton::clicked, this, &QueryToolbarDelegate::validate);
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &QueryToolbarDelegate::validate);
    m_tick.start();
    validate();
    registerDefaults();
}

QStringList QueryToolbarDelegate::toolbarDefaultItemIdentifiers() const
{
    return {QStringLiteral("item_search"), kSeparator, QStringLiteral("item_download"), QStringLiteral("item_refresh"),
            kFlexibleSpace, QStringLiteral("item_mode")};
}

QStringList QueryToolbarDelegate::toolbarAllowedItemIdentifiers() const
{
    return {QStringLiteral("item_search"), QStringLiteral("item_download"), QStringLiteral("item_refresh"),
            QStringLiteral("item_mode"), kSeparator, kFlexibleSpace, kSpace};
}

void QueryToolbarDelegate::validateVisibleItems(QToolBar&)
{
    validate();
}

void QueryToolbarDelegate::validate()
{
    m_downloadButton->validate();
    m_refreshButton->validate();
}

}  // namespace ombrelay
