#pragma once

#include <QToolButton>
#include <functional>

namespace ombrelay {

// Shows a folder in the file manager (the download folder, or the incomplete one), making it first when
// it is missing, unless it lies on a detached disk.
class FolderRevealButton : public QToolButton
{
    Q_OBJECT
public:
    using FolderPath = std::function<QString()>;
    using Detached = std::function<bool(const QString& path)>;

    FolderRevealButton(FolderPath folder, Detached detached, QWidget* parent = nullptr);

    // The folder, made when missing and attached; empty when it cannot be shown.
    QString preparedFolder() const;
    void setRevealer(std::function<void(const QString&)> reveal) { m_reveal = std::move(reveal); }

private:
    FolderPath m_folder;
    Detached m_detached;
    std::function<void(const QString&)> m_reveal;
};

}  // namespace ombrelay
