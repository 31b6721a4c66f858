#include "app/prefs/KoDownloadPreferences.h"

#include "app/prefs/FolderButton.h"
#include "app/prefs/FolderRevealButton.h"
#include "app/prefs/IncompleteFolderButton.h"
#include "app/prefs/SettingsBinder.h"
#include "kit/AppPaths.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace ombrelay {

namespace {

QCheckBox* checkBox(const QString& text, const QString& key, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    SettingsBinder::bindCheckBox(box, key);
    return box;
}

}  // namespace

KoDownloadPreferences::KoDownloadPreferences(std::function<bool(const QString&)> detached, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* folders = new QGroupBox(tr("Folders"), this);
    auto* grid = new QGridLayout(folders);
    m_saveDirectory = new FolderButton(QStringLiteral("save_directory"), folders);
    m_saveDirectory->setObjectName(QStringLiteral("saveDirectory"));
    m_saveReveal = new FolderRevealButton(&AppPaths::downloadPath, detached, folders);
    grid->addWidget(new QLabel(tr("Save downloads to:"), folders), 0, 0);
    grid->addWidget(m_saveDirectory, 0, 1);
    grid->addWidget(m_saveReveal, 0, 2);
    m_incompleteDirectory = new IncompleteFolderButton(folders);
    m_incompleteDirectory->setObjectName(QStringLiteral("incompleteDirectory"));
    m_incompleteReveal = new FolderRevealButton(&AppPaths::incompletePath, detached, folders);
    grid->addWidget(checkBox(tr("Keep unfinished downloads in:"), QStringLiteral("kUseIncompleteFolder"), folders), 1, 0);
    grid->addWidget(m_incompleteDirectory, 1, 1);
    grid->addWidget(m_incompleteReveal, 1, 2);
    m_autodownloadLocation = new FolderButton(QStringLiteral("kKoAutodownloadLocation"), folders);
    grid->addWidget(checkBox(tr("Open torrent files added to:"), QStringLiteral("kAutodownload"), folders), 2, 0);
    grid->addWidget(m_autodownloadLocation, 2, 1);
    grid->setColumnStretch(1, 1);
    layout->addWidget(folders);

    auto* ask = new QGroupBox(tr("Ask where to save torrents"), this);
    auto* askLayout = new QVBoxLayout(ask);
    askLayout->addWidget(checkBox(tr("opened from the file manager or the Open panel"), QStringLiteral("kConfirmLocationFinder"), ask));
    askLayout->addWidget(checkBox(tr("started from search results, feeds and addresses"), QStringLiteral("kConfirmLocationInternal"), ask));
    askLayout->addWidget(checkBox(tr("found in the watched folder"), QStringLiteral("kConfirmLocationAuto"), ask));
    layout->addWidget(ask);

    auto* transfers = new QGroupBox(tr("Transfers"), this);
    auto* transfersLayout = new QGridLayout(transfers);
    m_queueLimit = new QSpinBox(transfers);
    m_queueLimit->setRange(1, 100);
    SettingsBinder::bindSpinBox(m_queueLimit, QStringLiteral("kDownloadQueueLimit"));
    transfersLayout->addWidget(checkBox(tr("Downloads at once:"), QStringLiteral("kDownloadQueueEnabled"), transfers), 0, 0);
    transfersLayout->addWidget(m_queueLimit, 0, 1);
    transfersLayout->addWidget(checkBox(tr("Seed completed downloads"), QStringLiteral("kSeedingEnabled"), transfers), 1, 0);
    m_ratio = new QSpinBox(transfers);
    m_ratio->setRange(1, 1000);
    SettingsBinder::bindSpinBox(m_ratio, QStringLiteral("kStopSeedingRatio"));
    transfersLayout->addWidget(checkBox(tr("Stop seeding at ratio:"), QStringLiteral("kStopSeedingAtRatio"), transfers), 2, 0);
    transfersLayout->addWidget(m_ratio, 2, 1);
    transfersLayout->setColumnStretch(2, 1);
    layout->addWidget(transfers);
    layout->addStretch();
    // Filled now, so that the pane is measured with its folder names.
    for (FolderButton* button : {m_saveDirectory, static_cast<FolderButton*>(m_incompleteDirectory), m_autodownloadLocation})
        button->populate();
}

void KoDownloadPreferences::commitEditing()
{
    SettingsBinder::commit(m_queueLimit, QStringLiteral("kDownloadQueueLimit"));
    SettingsBinder::commit(m_ratio, QStringLiteral("kStopSeedingRatio"));
}

}  // namespace ombrelay
