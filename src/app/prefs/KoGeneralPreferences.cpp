#include "app/prefs/KoGeneralPreferences.h"

#include "app/prefs/ResetButton.h"
#include "app/prefs/SearchSitesTableView.h"
#include "app/prefs/SettingsBinder.h"
#include "kit/ServiceAddresses.h"
#include "kit/Settings.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace ombrelay {

KoGeneralPreferences::KoGeneralPreferences(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeSitesBox(), 1);
    auto* general = new QGroupBox(tr("General"), this);
    auto* boxes = new QVBoxLayout(general);
    const std::pair<const char*, QString> keys[] = {
        {"kDeleteOriginalTorrent", tr("Delete the original torrent file once it is added")},
        {"kKoWarnDownloads", tr("Ask before removing transfers that hold downloaded data")},
        {"kKoWarnQuit", tr("Ask before quitting while transfers are active")},
        {"kKoBounceDockIcon", tr("Ask for attention when a download completes")},
        {"kKoNetBandwidth", tr("Show the net download rate in the transfers summary")},
        {"kKoNetBandwidthDock", tr("Show the download rate on the tray icon")},
        {"kVistrelEnabled", tr("Suggest searches while typing")},
        {"kDisableCookies", tr("Send no cookies to search sites and web pages")},
    };
    for (const auto& [key, text] : keys) {
        auto* box = new QCheckBox(text, general);
        SettingsBinder::bindCheckBox(box, QLatin1String(key));
        boxes->addWidget(box);
    }
    auto* home = new QLineEdit(general);
    home->setText(Settings::instance().string(QStringLiteral("kDefaultSite")));
    connect(home, &QLineEdit::editingFinished, home, [home] {
        const QString address = home->text().trimmed();
        if (!address.isEmpty())
            Settings::instance().setValue(QStringLiteral("kDefaultSite"), address);
    });
    auto* form = new QFormLayout;
    form->addRow(tr("Home page:"), home);
    boxes->addLayout(form);
    auto* twitter = new QPushButton(tr("Join Twitter"), general);
    twitter->setObjectName(QStringLiteral("joinTwitter"));
    twitter->setAutoDefault(false);
    connect(twitter, &QPushButton::clicked, this, &KoGeneralPreferences::joinTwitter);
    boxes->addWidget(twitter, 0, Qt::AlignLeft);
    layout->addWidget(general);
}

void KoGeneralPreferences::joinTwitter()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(service::kShortMessageSignUpURL)));
}

QWidget* KoGeneralPreferences::makeSitesBox()
{
    auto* box = new QGroupBox(tr("Search Sites"), this);
    m_sitesTable = new SearchSitesTableView(box);
    // Room for the built-in sites, the separator and three of the user's own.
    m_sitesTable->setMinimumSize(440, 9 * SearchSitesTableView::kRowHeight + SearchSitesTableView::kSeparatorHeight + 6);
    m_addSite = new QPushButton(tr("Add..."), box);
    m_removeSite = new QPushButton(tr("Remove"), box);
    m_resetSites = new ResetButton(tr("Reset To Defaults"), box);
    m_addSite->setObjectName(QStringLiteral("AddSearchSite"));
    m_removeSite->setObjectName(QStringLiteral("RemoveSearchSite"));
    m_sitesTable->setRemoveButton(m_removeSite);
    connect(m_addSite, &QPushButton::clicked, m_sitesTable, &SearchSitesTableView::add);
    connect(m_removeSite, &QPushButton::clicked, m_sitesTable, &SearchSitesTableView::remove);
    connect(m_resetSites, &QPushButton::clicked, m_sitesTable, &SearchSitesTableView::resetToDefaults);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_addSite);
    buttons->addWidget(m_removeSite);
    buttons->addStretch();
    buttons->addWidget(m_resetSites);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(m_sitesTable, 1);
    layout->addLayout(buttons);
    return box;
}

}  // namespace ombrelay
