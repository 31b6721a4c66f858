#pragma once

#include "app/toolbar/KoToolbarDelegate.h"
#include "engine/core/EngineHost.h"

#include <QPointer>
#include <QTimer>

class QToolButton;

namespace ombrelay {

class KoDownloadsController;

// The transfers toolbar: Pause, Resume, Clear and Remove on the selected transfers, or on all of them
// when none is selected. The buttons are validated on every selection change, toolbar switch, action and
// second.
class KoDownloadsToolbarDelegate : public KoToolbarDelegate
{
    Q_OBJECT
public:
    struct Validation
    {
        bool pause = false;
        bool resume = false;
        bool clear = false;
        bool remove = false;
    };
    // The buttons' states for these targets (the selection, else every transfer).
    static Validation validationFor(const TorrentLineList& targets, int selectedCount, int completeCount);

    explicit KoDownloadsToolbarDelegate(KoDownloadsController& downloads, QObject* parent = nullptr);

    QString toolbarIdentifier() const override { return QStringLiteral("DownloadsToolbarDelegateA"); }
    QStringList toolbarDefaultItemIdentifiers() const override;
    QStringList toolbarAllowedItemIdentifiers() const override;
    void validateVisibleItems(QToolBar& toolbar) override;

    QToolButton* pauseButton() const { return m_pauseButton; }
    QToolButton* resumeButton() const { return m_resumeButton; }
    QToolButton* clearButton() const { return m_clearButton; }
    QToolButton* cancelButton() const { return m_cancelButton; }
    void validate();

private:
    TorrentLineList targets() const;
    QToolButton* addButton(const QString& identifier, const QString& label, const QString& toolTip, bool fitted);
    void pause();
    void resume();

    KoDownloadsController& m_downloads;
    QToolButton* m_pauseButton;
    QToolButton* m_resumeButton;
    QToolButton* m_clearButton;
    QToolButton* m_cancelButton;
    QTimer m_tick;
};

}  // namespace ombrelay
