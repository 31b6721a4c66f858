#include "app/prefs/IncompleteFolderButton.h"

#include "app/shell/IncompleteFolderMover.h"
#include "kit/AppPaths.h"
#include "kit/Settings.h"

#include <QFileIconProvider>

namespace ombrelay {

IncompleteFolderButton::IncompleteFolderButton(QWidget* parent) : FolderButton(QStringLiteral("kIncompleteFolder"), parent) {}

void IncompleteFolderButton::populate()
{
    const QSignalBlocker quiet(this);
    clear();
    const QString stored = Settings::instance().string(defaultsKey());
    if (!stored.isEmpty()) {
        addFolder(AppPaths::abbreviateTilde(IncompleteFolderMover::normalizedPath(stored)));
        insertSeparator(count());
    }
    addFolder(QStringLiteral(""), tr("Incomplete"), QFileIconProvider().icon(QFileIconProvider::Folder));
    addOther();
    selectStored();
}

}  // namespace ombrelay
