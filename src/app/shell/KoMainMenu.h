#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <map>

class QAction;
class QKeyEvent;
class QMenuBar;
class QTimer;

namespace ombrelay {

// The main window's menu bar, built from one table that gives every command its menu, title, explicit
// shortcuts (the same under every desktop) and tag. Each command is told what it does and when it may
// act; while a modal window or a sheet is up only Quit acts (its keys reach it from that window too). The
// enabled states are brought up to date before a menu opens, before a Ctrl key is matched against the
// shortcuts, and after the changes that the commands follow (validateLater). A key of an enabled command
// is the command's wherever the focus is, in any window of the program: a text field that binds the same
// key to an edit of its own (Ctrl+U clears a line) does not get it. A focused text field keeps the keys
// that move and select by word and line (Ctrl+Shift+Left selects a word, not the previous tab).
class KoMainMenu : public QObject
{
    Q_OBJECT
public:
    enum class Command {
        Open, OpenAddress, NewFolder, NewSubscription, CloseTab, ClearComplete, Quit,
        Undo, Redo, Cut, Copy, Paste, SelectAll, Find, RemoveSource, Preferences,
        NewTab, SelectNextTab, SelectPreviousTab, MakeTextLarger, MakeTextSmaller, MarkAllRead,
        ShowSources, ShowAllTransfers, ShowActiveTransfers, ShowInactiveTransfers, ShowCompleteTransfers,
        OpenTransfer, RevealTransfer, QuickLook, RemoveTransfer,
        SearchPlayingArtist, SearchPlayingSong,
        Help, WebSite, Blog, SendFeedback, TellAFriend, ShortMessagePage, SocialPage, MakerSite, About,
    };

    struct Entry
    {
        Command command;
        const char* menu;
        const char* title;  // empty for a command that brings its own action
        QList<QKeySequence> keys;
        int tag = 0;
        bool separatorBefore = false;
        bool actsOverModals = false;
    };
    static const QList<Entry>& table();

    explicit KoMainMenu(QObject* parent = nullptr);
    ~KoMainMenu() override;

    // What a command does, and when it may act (whenever no modal window is up, when not given).
    void setCommand(Command command, std::function<void()> run, std::function<bool()> isEnabled = {});
    // A command whose action exists already joins the menu as it is, keys and all; `validate` brings
    // such actions up to date.
    void adoptAction(Command command, QAction* action);
    void setAdoptedValidator(std::function<void()> validate) { m_validateAdopted = std::move(validate); }
    // Fills the bar from the table; commands without a handler stay disabled.
    void build(QMenuBar* bar);

    QAction* action(Command command) const;
    QList<QAction*> actions() const;
    void validate();
    void validateLater();
    static bool modalWindowIsUp();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Handler
    {
        std::function<void()> run;
        std::function<bool()> isEnabled;
    };
    bool mayRun(Command command) const;
    // The enabled action, of the window's menu or of a modal window's, whose shortcut `key` is.
    QAction* enabledActionForKey(const QKeyEvent& key, bool overModals) const;
    // The enabled command that a Ctrl key sent to `receiver` runs, if any.
    QAction* commandForKey(const QObject* receiver, const QKeyEvent& key) const;
    // The key goes first to `receiver`, in one of the program's windows (not a menu or a popup).
    static bool isInApplicationWindow(const QObject* receiver);
    // A key that the focused text field moves or selects by (word, line), which it keeps.
    static bool isTextKeyOfFocusedField(const QKeyEvent& key);

    std::map<Command, Handler> m_handlers;
    std::map<Command, QPointer<QAction>> m_actions;
    std::map<Command, QPointer<QAction>> m_adopted;
    std::function<void()> m_validateAdopted;
    QTimer* m_validation;
};

}  // namespace ombrelay
