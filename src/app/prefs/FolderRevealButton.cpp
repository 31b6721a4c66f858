#include "app/prefs/FolderRevealButton.h"

#include "transfers/DesktopFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStyle>

namespace ombrelay {

FolderRevealButton::FolderRevealButton(FolderPath folder, Detached detached, QWidget* parent)
    : QToolButton(parent), m_folder(std::move(folder)), m_detached(std::move(detached)), m_reveal(&DesktopFiles::reveal)
{
    setIcon(QIcon::fromTheme(QStringLiteral("folder-open"), style()->standardIcon(QStyle::SP_DirOpenIcon)));
    setToolTip(tr("Show in the file manager"));
    connect(this, &QToolButton::clicked, this, [this] {
        const QString folder = preparedFolder();
        if (!folder.isEmpty())
            m_reveal(folder);
    });
}

QString FolderRevealButton::preparedFolder() const
{
    const QString folder = QDir::cleanPath(m_folder());
    if (folder.isEmpty())
        return {};
    if (!QFileInfo::exists(folder)) {
        if (m_detached && m_detached(folder))
            return {};
        QDir().mkpath(folder);
    }
    return folder;
}

}  // namespace ombrelay
