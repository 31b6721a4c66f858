#include "app/shell/KoAppMessageBridge.h"

#include "app/desktop/MprisNowPlaying.h"
#include "app/shell/KoAboutBoxController.h"
#include "kit/ServiceAddresses.h"
#include "uikit/FilterSearchField.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QUrl>

namespace ombrelay {

KoAppMessageBridge::KoAppMessageBridge(QWidget* mainWindow, QMenuBar* menuBar, QStackedWidget* contentView,
                                       Actions actions, MprisNowPlaying* player, QObject* parent)
    : QObject(parent), m_mainWindow(mainWindow), m_contentView(contentView), m_actions(std::move(actions)),
      m_player(player)
{
    const auto add = [this](QMenu* menu, const QString& text, auto slot, const QKeySequence& keys = {}) {
        QAction* action = menu->addAction(text, this, slot);
        action->setShortcut(keys);
        m_actionsList.append(action);
        return action;
    };
    QMenu* edit = menuBar->addMenu(tr("&Edit"));
    m_find = add(edit, tr("Find"), &KoAppMessageBridge::selectDownloadsFilterField, QKeySequence::Find);
    m_find->setData(kFindTag);
    edit->addSeparator();
    add(edit, tr("Preferences…"), [this] { if (m_actions.showPreferences) m_actions.showPreferences(); },
        QKeySequence::Preferences);
    QMenu* go = menuBar->addMenu(tr("&Search"));
    add(go, tr("Open Address…"), [this] { if (m_actions.showOpenAddressPanel) m_actions.showOpenAddressPanel(); },
        QKeySequence(Qt::CTRL | Qt::Key_U));
    go->addSeparator();
    add(go, tr("Search for Playing Artist"), &KoAppMessageBridge::newSearchWithCurrentArtist);
    add(go, tr("Search for Playing Song"), &KoAppMessageBridge::newSearchWithCurrentSong);
    QMenu* help = menuBar->addMenu(tr("&Help"));
    add(help, tr("Ombrelay Help"), [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(service::kSupportSiteURL))); });
    add(help, tr("Ombrelay Web Site"), [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(service::kProductSiteURL))); });
    add(help, tr("Ombrelay Blog"), [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(service::kBlogURL))); });
    help->addSeparator();
    add(help, tr("About Ombrelay"), &KoAppMessageBridge::showAboutPanel)->setMenuRole(QAction::AboutRole);

    // The shortcut follows the content: re-checked at every switch, and before the menu opens.
    connect(contentView, &QStackedWidget::currentChanged, this, &KoAppMessageBridge::validateFind);
    connect(edit, &QMenu::aboutToShow, this, &KoAppMessageBridge::validateFind);
    validateFind();
}

QAction* KoAppMessageBridge::actionWithText(const QString& text) const
{
    for (QAction* action : m_actionsList)
        if (action->text() == text)
            return action;
    return nullptr;
}

QWidget* KoAppMessageBridge::viewOfType(const QMetaObject& type, QWidget* view)
{
    if (!view)
        return nullptr;
    if (view->metaObject() == &type)
        return view;
    for (QObject* child : view->children())
        if (auto* widget = qobject_cast<QWidget*>(child))
            if (QWidget* found = viewOfType(type, widget))
                return found;
    return nullptr;
}

void KoAppMessageBridge::validateFind()
{
    m_find->setEnabled(viewOfType(FilterSearchField::staticMetaObject, m_contentView->currentWidget()) != nullptr);
}

void KoAppMessageBridge::selectDownloadsFilterField()
{
    if (auto* field = static_cast<FilterSearchField*>(
            viewOfType(FilterSearchField::staticMetaObject, m_contentView->currentWidget()))) {
        field->setFocus(Qt::ShortcutFocusReason);
        field->selectAll();
    }
}

KoAboutBoxController* KoAppMessageBridge::aboutBox()
{
    if (!m_aboutBox)
        m_aboutBox = new KoAboutBoxController(m_mainWindow);
    return m_aboutBox;
}

void KoAppMessageBridge::showAboutPanel()
{
    aboutBox()->showCentered();
}

void KoAppMessageBridge::newSearchWithCurrentArtist()
{
    if (m_player)
        m_player->query(MprisNowPlaying::Field::Artist, [this](const QString& text) { searchFor(text); });
}

void KoAppMessageBridge::newSearchWithCurrentSong()
{
    if (m_player)
        m_player->query(MprisNowPlaying::Field::Title, [this](const QString& text) { searchFor(text); });
}

void KoAppMessageBridge::searchFor(const QString& text)
{
    if (!text.isEmpty() && m_actions.search)
        m_actions.search(text);
}

}  // namespace ombrelay
