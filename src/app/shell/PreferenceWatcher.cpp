#include "app/shell/PreferenceWatcher.h"

#include "app/shell/IncompleteFolderMover.h"
#include "engine/core/BTCore.h"
#include "kit/Settings.h"

namespace ombrelay {

PreferenceWatcher::PreferenceWatcher(KoDownloadsController& downloads, SessionLifecycle* session,
                                     std::function<QWidget*()> window, QObject* parent)
    : QObject(parent),
      m_incompleteFolder(std::make_unique<IncompleteFolderMover>(downloads, session, std::move(window)))
{
    connect(&Settings::instance(), &Settings::changed, this, [](const QString& key) {
        if (key != QLatin1String("kRandomPort"))
            return;
        BTCore& core = BTCore::instance();
        if (Settings::instance().boolean(key))
            core.updateRandomPort();
        core.updatePort();
    });
}

PreferenceWatcher::~PreferenceWatcher() = default;

}  // namespace ombrelay
