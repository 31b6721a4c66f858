#pragma once

#include <QComboBox>
#include <QStringList>

namespace ombrelay {

// A folder pop-up for one settings key: the stored folder when it is none of the presets, the presets
// (the XDG Download, Desktop, Documents, Videos, Music and Pictures folders), then "Other...", which asks
// for a folder. Folders are stored with the home folder written "~" and compared without a trailing "/".
class FolderButton : public QComboBox
{
    Q_OBJECT
public:
    explicit FolderButton(const QString& defaultsKey, QWidget* parent = nullptr);

    QString defaultsKey() const { return m_defaultsKey; }
    static QStringList presetLocations();  // tilde-abbreviated
    virtual void populate();
    // The folder an item stands for; null for separators and "Other...".
    QString representedPath(int index) const;
    bool isOtherItem(int index) const { return index == count() - 1; }
    void showPopup() override;

protected:
    void showEvent(QShowEvent* event) override;
    void initStyleOption(QStyleOptionComboBox* option) const override;
    void chosen(int index);
    void selectStored();
    // Adds an item for a folder, titled with its name.
    void addFolder(const QString& path, const QString& title = {}, const QIcon& icon = {});
    void addOther();

private:
    QString m_defaultsKey;
};

}  // namespace ombrelay
