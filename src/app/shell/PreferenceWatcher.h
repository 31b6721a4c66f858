#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QWidget;

namespace ombrelay {

class IncompleteFolderMover;
class KoDownloadsController;
class SessionLifecycle;

// What follows the settings from launch on, whether or not the preferences window was ever opened:
// "kRandomPort" rebinds the engine's port, and the incomplete folder's changes offer their moves.
class PreferenceWatcher : public QObject
{
    Q_OBJECT
public:
    PreferenceWatcher(KoDownloadsController& downloads, SessionLifecycle* session, std::function<QWidget*()> window,
                      QObject* parent = nullptr);
    ~PreferenceWatcher() override;

    IncompleteFolderMover& incompleteFolder() const { return *m_incompleteFolder; }

private:
    std::unique_ptr<IncompleteFolderMover> m_incompleteFolder;
};

}  // namespace ombrelay
