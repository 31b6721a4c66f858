#include "app/shell/KoAppMessageBridge.h"

#include "app/desktop/KoiTunesController.h"
#include "app/shell/KoAboutBoxController.h"
#include "app/shell/KoMainMenu.h"
#include "app/shell/KoURLHandler.h"
#include "kit/ServiceAddresses.h"
#include "kit/TextHelpers.h"
#include "uikit/FilterSearchField.h"

#include <QAction>
#include <QDesktopServices>
#include <QStackedWidget>

namespace ombrelay {

namespace {

void openAddress(const char* address)
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(address)));
}

}  // namespace

KoAppMessageBridge::KoAppMessageBridge(QWidget* mainWindow, KoMainMenu& menu, QStackedWidget* contentView,
                                       Actions actions, QObject* parent)
    : QObject(parent), m_mainWindow(mainWindow), m_menu(menu), m_contentView(contentView), m_actions(std::move(actions))
{
    using C = KoMainMenu::Command;
    const auto call = [](const std::function<void()>& action) {
        return [action] {
            if (action)
                action();
        };
    };
    menu.setCommand(C::Preferences, call(m_actions.showPreferences));
    menu.setCommand(C::OpenAddress, call(m_actions.showOpenAddressPanel));
    menu.setCommand(C::Find, [this] { selectDownloadsFilterField(); }, [this] { return hasFilterField(); });
    menu.setCommand(C::SearchPlayingArtist, [this] { newSearchWithCurrentArtist(); });
    menu.setCommand(C::SearchPlayingSong, [this] { newSearchWithCurrentSong(); });
    menu.setCommand(C::Help, [] { openAddress(service::kSupportSiteURL); });
    menu.setCommand(C::WebSite, [] { openAddress(service::kProductSiteURL); });
    menu.setCommand(C::Blog, [] { openAddress(service::kBlogURL); });
    menu.setCommand(C::SendFeedback, [] { QDesktopServices::openUrl(feedbackMail()); });
    menu.setCommand(C::TellAFriend, [] { QDesktopServices::openUrl(tellAFriendMail()); });
    menu.setCommand(C::ShortMessagePage, [] { openAddress(service::kProductShortMessagePageURL); });
    menu.setCommand(C::SocialPage, [] { openAddress(service::kProductSocialPageURL); });
    menu.setCommand(C::MakerSite, [] { openAddress(service::kMakerSiteURL); });
    menu.setCommand(C::About, [this] { showAboutPanel(); });
}

QAction* KoAppMessageBridge::findAction() const
{
    return m_menu.action(KoMainMenu::Command::Find);
}

QAction* KoAppMessageBridge::actionWithText(const QString& text) const
{
    for (QAction* action : m_menu.actions())
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
        if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isHidden())
            if (QWidget* found = viewOfType(type, widget))
                return found;
    return nullptr;
}

bool KoAppMessageBridge::hasFilterField() const
{
    return viewOfType(FilterSearchField::staticMetaObject, m_contentView->currentWidget()) != nullptr;
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
    searchForPlaying(MediaPlayers::Query::Artist);
}

void KoAppMessageBridge::newSearchWithCurrentSong()
{
    searchForPlaying(MediaPlayers::Query::Title);
}

void KoAppMessageBridge::searchForPlaying(MediaPlayers::Query field)
{
    KoiTunesController::iTunesValue(MediaPlayers::Query::StreamTitle, this, [this, field](const QString& stream) {
        if (!stream.isEmpty())
            return searchFor(stream);
        KoiTunesController::iTunesValue(field, this, [this](const QString& text) { searchFor(text); });
    });
}

void KoAppMessageBridge::searchFor(const QString& text)
{
    const QString terms = KoURLHandler::cleansedText(text);
    if (!terms.isEmpty() && m_actions.search)
        m_actions.search(terms);
}

QUrl KoAppMessageBridge::feedbackMail()
{
    const QString subject = tr("Ombrelay %1 Feedback").arg(QStringLiteral(OMBRELAY_VERSION));
    return QUrl(QStringLiteral("mailto:%1?subject=%2")
                    .arg(QString::fromLatin1(service::kFeedbackAddress), escapedString(subject)));
}

QUrl KoAppMessageBridge::tellAFriendMail()
{
    const QString subject = tr("Ombrelay (for Linux)");
    const QString body = tr("Check it out:") + QLatin1Char('\n') + QString::fromLatin1(service::kProductSiteURL);
    return QUrl(QStringLiteral("mailto:?subject=%1&body=%2").arg(escapedString(subject), escapedString(body)));
}

}  // namespace ombrelay
