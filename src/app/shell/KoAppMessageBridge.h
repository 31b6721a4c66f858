#pragma once

#include "platform/MediaPlayers.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>

class QAction;
class QStackedWidget;
class QWidget;

namespace ombrelay {

class KoAboutBoxController;
class KoMainMenu;

// What the main menu's own items do: Preferences, Open Address, Find (tag 99: the shown view's filter
// field), the searches for what the media player plays, the about box, and the product's pages and mail
// links, opened through the desktop's handlers.
class KoAppMessageBridge : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFindTag = 99;

    struct Actions
    {
        std::function<void()> showPreferences;
        std::function<void()> showOpenAddressPanel;
        std::function<void(const QString& query)> search;
    };

    // Gives the menu its commands; the menu is built afterwards.
    KoAppMessageBridge(QWidget* mainWindow, KoMainMenu& menu, QStackedWidget* contentView, Actions actions,
                       QObject* parent = nullptr);

    QAction* findAction() const;
    QAction* actionWithText(const QString& text) const;
    // Depth first, the first widget whose class is exactly T's (not a subclass); hidden widgets, such as
    // the tabs not shown, are not searched.
    static QWidget* viewOfType(const QMetaObject& type, QWidget* view);
    bool hasFilterField() const;

    void showAboutPanel();
    KoAboutBoxController* aboutBox();
    void newSearchWithCurrentArtist();
    void newSearchWithCurrentSong();
    void selectDownloadsFilterField();

    // "Send Feedback…": a message to the feedback address about this version.
    static QUrl feedbackMail();
    // "Tell a Friend…": a message without recipient pointing at the product's site.
    static QUrl tellAFriendMail();

private:
    // The player's stream title, else the field of its track, whatever it is doing.
    void searchForPlaying(MediaPlayers::Query field);
    void searchFor(const QString& text);

    QPointer<QWidget> m_mainWindow;
    KoMainMenu& m_menu;
    QStackedWidget* m_contentView;
    Actions m_actions;
    QPointer<KoAboutBoxController> m_aboutBox;
};

}  // namespace ombrelay
