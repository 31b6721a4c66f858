#pragma once

#include <QWidget>
#include <functional>

class QSpinBox;

namespace ombrelay {

class FolderButton;
class FolderRevealButton;
class IncompleteFolderButton;

// The download pane: the download, incomplete and watched folders, when to ask for a folder, the
// download queue and seeding.
class KoDownloadPreferences : public QWidget
{
    Q_OBJECT
public:
    explicit KoDownloadPreferences(std::function<bool(const QString& path)> detached, QWidget* parent = nullptr);

    FolderButton* saveDirectory() const { return m_saveDirectory; }
    IncompleteFolderButton* incompleteDirectory() const { return m_incompleteDirectory; }
    FolderButton* autodownloadLocation() const { return m_autodownloadLocation; }
    FolderRevealButton* saveReveal() const { return m_saveReveal; }
    FolderRevealButton* incompleteReveal() const { return m_incompleteReveal; }

    void commitEditing();

private:
    FolderButton* m_saveDirectory;
    IncompleteFolderButton* m_incompleteDirectory;
    FolderButton* m_autodownloadLocation;
    FolderRevealButton* m_saveReveal;
    FolderRevealButton* m_incompleteReveal;
    QSpinBox* m_queueLimit;
    QSpinBox* m_ratio;
};

}  // namespace ombrelay
