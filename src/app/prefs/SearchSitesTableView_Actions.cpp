#include "app/prefs/SearchSitesTableView.h"

#include "app/prefs/SearchSiteSheet.h"
#include "kit/DefaultSettings.h"
#include "kit/NotificationCenter.h"
#include "kit/PropertyList.h"
#include "kit/Settings.h"
#include "search/SearchSites.h"
#include "uikit/PZAlert.h"

#include <QDateTime>

namespace ombrelay {

namespace {

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

}  // namespace

void SearchSitesTableView::enable(bool enabled, int row)
{
    if (isUserSiteRow(row)) {
        QList<QVariantMap> sites = SearchSites::instance().userModules();
        const int index = userModuleIndexFromIndex(row);
        if (index >= sites.size())
            return;
        sites[index].insert(QStringLiteral("isEnabled"), flag(enabled));
        saveUserModules(sites);
    } else if (row >= 0 && row < numberOfRows() && !isSeparatorRow(row)) {
        SearchSites::enable(enabled, objectAtIndex(row));
    } else {
        return;
    }
    postNotificationAboutSelf(this, QStringLiteral("EnabledSearchSitesDidChangeNotification"));
}

void SearchSitesTableView::add()
{
    m_addSheet->openWith({}, {}, false);
}

void SearchSitesTableView::addDone()
{
    if (m_addSheet->showFault())
        return;
    m_addSheet->accept();
    QList<QVariantMap> sites = SearchSites::instance().userModules();
    sites.append({{QStringLiteral("isEnabled"), flag(true)},
                  {QStringLiteral("url"), m_addSheet->pattern()},
                  {QStringLiteral("name"), m_addSheet->name()},
                  {QStringLiteral("type"), flag(m_addSheet->opensTab())},
                  {QStringLiteral("creationDate"), QDateTime::currentDateTimeUtc()}});
    saveUserModules(sites);
}

void SearchSitesTableView::addCancel()
{
    m_addSheet->reject();
}

void SearchSitesTableView::edit()
{
    if (!isUserSiteRow(m_editingRow))
        return;
    m_editedSite = objectAtIndex(m_editingRow);
    m_editSheet->openWith(m_editedSite.value(QStringLiteral("name")).toString(),
                          m_editedSite.value(QStringLiteral("url")).toString(),
                          m_editedSite.value(QStringLiteral("type")).toString().toLongLong() == 1);
}

void SearchSitesTableView::editDone()
{
    if (m_editSheet->showFault())
        return;
    m_editSheet->accept();
    QList<QVariantMap> sites = SearchSites::instance().userModules();
    // The site opened for editing, wherever it stands now; gone, the edit has nothing to change.
    const qsizetype index = sites.indexOf(m_editedSite);
    if (index < 0)
        return;
    QVariantMap& site = sites[index];
    site.insert(QStringLiteral("name"), m_editSheet->name());
    site.insert(QStringLiteral("url"), m_editSheet->pattern());
    site.insert(QStringLiteral("type"), flag(m_editSheet->opensTab()));
    saveUserModules(sites);
}

void SearchSitesTableView::editCancel()
{
    m_editSheet->reject();
}

void SearchSitesTableView::doubleClick(int row)
{
    m_editingRow = row;
    const int selected = selectedRow();
    if (isUserSiteRow(row) && (selected < 0 || selected == row))
        edit();
}

void SearchSitesTableView::remove()
{
    const int row = selectedRow();
    if (!isUserSiteRow(row))
        return;
    const QVariantMap doomed = objectAtIndex(row);
    window()->raise();
    PZAlert alert{tr("Do you wish to remove the selected search site?"),
                  tr("Removing the search site is a permanent action. If you wish temporarily disable this search site, "
                     "you can do so by clicking 'Cancel' and then unchecking the appropriate checkbox."),
                  {tr("Remove"), tr("Cancel")}};
    PZAlert::run(alert, window(), [this, table = QPointer<SearchSitesTableView>(this), doomed](int button) {
        if (!table || button != 0)
            return;
        QList<QVariantMap> sites = SearchSites::instance().userModules();
        if (sites.removeOne(doomed))
            saveUserModules(sites);
    });
}

void SearchSitesTableView::resetToDefaults()
{
    window()->raise();
    PZAlert alert{tr("Do you wish to reset the search sites to default values?"),
                  tr("Any customizations you have made will be lost. This cannot be undone."),
                  {tr("Reset To Defaults"), tr("Cancel")}};
    PZAlert::run(alert, window(), [this, table = QPointer<SearchSitesTableView>(this)](int button) {
        if (!table || button != 0)
            return;
        // "kEnabledSystemModules" stays: the built-in sites keep their states.
        Settings::instance().setValue(QStringLiteral("kSearchSites"), PropertyList::toBinary(defaultSearchSites()));
        SearchSites::instance().loadFromDefaults();
    });
}

}  // namespace ombrelay
