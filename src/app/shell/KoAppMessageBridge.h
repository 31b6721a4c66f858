#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QAction;
class QMenuBar;
class QStackedWidget;
class QWidget;

namespace ombrelay {

class FilterSearchField;
class KoAboutBoxController;
class MprisNowPlaying;

// The main menu's own items: Preferences, Find (tag 99: the transfers filter field), Open Address, the
// searches for what the media player plays, the about box and the product's pages.
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

    KoAppMessageBridge(QWidget* mainWindow, QMenuBar* menuBar, QStackedWidget* contentView, Actions actions,
                       MprisNowPlaying* player, QObject* parent = nullptr);

    QAction* findAction() const { return m_find; }
    QAction* actionWithText(const QString& text) const;
    // Depth first, the first widget whose class is exactly T's (not a subclass).
    static QWidget* viewOfType(const QMetaObject& type, QWidget* view);
    void validateFind();

    void showAboutPanel();
    KoAboutBoxController* aboutBox();
    void newSearchWithCurrentArtist();
    void newSearchWithCurrentSong();
    void selectDownloadsFilterField();

private:
    void searchFor(const QString& text);

    QPointer<QWidget> m_mainWindow;
    QStackedWidget* m_contentView;
    Actions m_actions;
    MprisNowPlaying* m_player;
    QAction* m_find = nullptr;
    QList<QAction*> m_actionsList;
    QPointer<KoAboutBoxController> m_aboutBox;
};

}  // namespace ombrelay
