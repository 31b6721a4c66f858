#pragma once

#include "app/toolbar/KoToolbarDelegate.h"
#include "app/toolbar/ResultsToolbarButtons.h"

#include <QTimer>

namespace ombrelay {

// The toolbar of result and feed lists: Download and Refresh on the selected pane's list, and the view
// mode of every result list. Validated on every toolbar switch, selection change and second.
class QueryToolbarDelegate : public KoToolbarDelegate
{
    Q_OBJECT
public:
    explicit QueryToolbarDelegate(ResultsPaneLookup lookup, QObject* parent = nullptr);

    QString toolbarIdentifier() const override { return QStringLiteral("QueryToolbarDelegateA"); }
    QStringList toolbarDefaultItemIdentifiers() const override;
    QStringList toolbarAllowedItemIdentifiers() const override;
    void validateVisibleItems(QToolBar& toolbar) override;

    DownloadButton* downloadButton() const { return m_downloadButton; }
    RefreshButton* refreshButton() const { return m_refreshButton; }
    ViewModeButton* viewModeButton() const { return m_viewModeButton; }
    void validate();

private:
    DownloadButton* m_downloadButton;
    RefreshButton* m_refreshButton;
    ViewModeButton* m_viewModeButton;
    QTimer m_tick;
};

}  // namespace ombrelay
