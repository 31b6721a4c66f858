#include "app/prefs/FolderButton.h"

#include "app/shell/IncompleteFolderMover.h"
#include "kit/AppPaths.h"
#include "kit/Settings.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QStandardPaths>
#include <QStyleOptionComboBox>

#include <algorithm>

namespace ombrelay {

namespace {

const int kPathRole = Qt::UserRole + 1;

// The pop-up's own rows, with separators tall enough that their line stands clear of a highlighted row
// beside them (the style gives them two pixels, so the line touches the highlight and vanishes in it).
class RoomySeparators : public QAbstractItemDelegate
{
public:
    RoomySeparators(QAbstractItemDelegate* rows, QObject* parent) : QAbstractItemDelegate(parent), m_rows(rows)
    {
        rows->setParent(this);
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        m_rows->paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = m_rows->sizeHint(option, index);
        if (index.data(Qt::AccessibleDescriptionRole).toString() == QLatin1String("separator"))
            size.setHeight(std::max(size.height(), option.fontMetrics.height() / 2));
        // The rows measure the size they are given, not their text: a menu row is as wide as its text
        // with the icon and check column around it.
        QStyleOptionViewItem text(option);
        text.rect.setWidth(option.fontMetrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()));
        size.setWidth(std::max(size.width(), m_rows->sizeHint(text, index).width()));
        return size;
    }

private:
    QAbstractItemDelegate* m_rows;
};

}  // namespace

FolderButton::FolderButton(const QString& defaultsKey, QWidget* parent) : QComboBox(parent), m_defaultsKey(defaultsKey)
{
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    view()->setItemDelegate(new RoomySeparators(view()->itemDelegate(), this));
    connect(this, &QComboBox::activated, this, &FolderButton::chosen);
    connect(&Settings::instance(), &Settings::changed, this, [this](const QString& key) {
        if (key == m_defaultsKey)
            populate();
    });
}

QStringList FolderButton::presetLocations()
{
    QStringList presets;
    for (const auto location : {QStandardPaths::DownloadLocation, QStandardPaths::DesktopLocation,
                                QStandardPaths::DocumentsLocation, QStandardPaths::MoviesLocation,
                                QStandardPaths::MusicLocation, QStandardPaths::PicturesLocation})
        presets.append(AppPaths::abbreviateTilde(QStandardPaths::writableLocation(location)));
    return presets;
}

void FolderButton::showEvent(QShowEvent* event)
{
    populate();
    QComboBox::showEvent(event);
}

void FolderButton::showPopup()
{
    // The pop-up is as wide as its widest row, whole, however narrow the button.
    view()->setMinimumWidth(view()->sizeHintForColumn(modelColumn()) + 2 * view()->frameWidth());
    QComboBox::showPopup();
}

void FolderButton::initStyleOption(QStyleOptionComboBox* option) const
{
    QComboBox::initStyleOption(option);
    // A name too long for the button ends in an ellipsis rather than cut off.
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, option, QStyle::SC_ComboBoxEditField, this);
    const int iconRoom = option->currentIcon.isNull() ? 0 : option->iconSize.width() + 4;
    option->currentText = fontMetrics().elidedText(option->currentText, Qt::ElideRight, field.width() - iconRoom - 2);
}

void FolderButton::addFolder(const QString& path, const QString& title, const QIcon& icon)
{
    static const QFileIconProvider icons;
    const QString name = title.isEmpty() ? QFileInfo(AppPaths::expandTilde(path)).fileName() : title;
    addItem(icon.isNull() ? icons.icon(QFileIconProvider::Folder) : icon, name.isEmpty() ? path : name);
    setItemData(count() - 1, path, kPathRole);
    setItemData(count() - 1, AppPaths::expandTilde(path), Qt::ToolTipRole);
}

void FolderButton::addOther()
{
    insertSeparator(count());
    addItem(tr("Other..."));
}

QString FolderButton::representedPath(int index) const
{
    return itemData(index, kPathRole).toString();
}

void FolderButton::populate()
{
    const QSignalBlocker quiet(this);
    clear();
    const QString stored = Settings::instance().string(m_defaultsKey);
    const QStringList presets = presetLocations();
    const QString storedFolder = IncompleteFolderMover::normalizedPath(stored);
    bool isPreset = false;
    for (const QString& preset : presets)
        isPreset = isPreset || IncompleteFolderMover::normalizedPath(preset) == storedFolder;
    if (!stored.isEmpty() && !isPreset) {
        addFolder(AppPaths::abbreviateTilde(storedFolder));
        insertSeparator(count());
    }
    for (const QString& preset : presets)
        addFolder(preset);
    addOther();
    selectStored();
}

void FolderButton::selectStored()
{
    const QString stored = IncompleteFolderMover::normalizedPath(Settings::instance().string(m_defaultsKey));
    for (int i = 0; i < count(); ++i) {
        const QVariant path = itemData(i, kPathRole);
        if (path.isValid() && IncompleteFolderMover::normalizedPath(path.toString()) == stored) {
            setCurrentIndex(i);
            return;
        }
    }
}

void FolderButton::chosen(int index)
{
    if (!isOtherItem(index)) {
        Settings::instance().setValue(m_defaultsKey, representedPath(index));
        populate();
        return;
    }
    auto* panel = new QFileDialog(window(), tr("Choose a Folder"), QDir::homePath());
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    connect(panel, &QFileDialog::fileSelected, this, [this](const QString& folder) {
        Settings::instance().setValue(m_defaultsKey, AppPaths::abbreviateTilde(QDir::cleanPath(folder)));
    });
    connect(panel, &QFileDialog::finished, this, [this] { populate(); });
    panel->open();
}

}  // namespace ombrelay
