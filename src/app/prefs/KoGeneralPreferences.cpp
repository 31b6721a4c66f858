#include "app/prefs/KoGeneralPreferences.h"

#include "app/prefs/SettingsBinder.h"
#include "kit/Settings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

namespace ombrelay {

KoGeneralPreferences::KoGeneralPreferences(QWidget* parent) : QWidget(parent), m_layout(new QVBoxLayout(this))
{
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
    m_layout->addWidget(general);
    m_layout->addStretch();
}

void KoGeneralPreferences::setSitesTable(QWidget* table)
{
    if (table)
        m_layout->insertWidget(0, table, 1);
}

}  // namespace ombrelay
