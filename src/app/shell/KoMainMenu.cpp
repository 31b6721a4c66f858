#include "app/shell/KoMainMenu.h"

#include "kit/NotificationCenter.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <algorithm>

namespace ombrelay {

namespace {

QKeySequence ctrl(int key, Qt::KeyboardModifiers more = {})
{
    return QKeySequence(QKeyCombination(Qt::ControlModifier | more, Qt::Key(key)));
}

QAction::MenuRole roleOf(KoMainMenu::Command command)
{
    switch (command) {
    case KoMainMenu::Command::Quit:
        return QAction::QuitRole;
    case KoMainMenu::Command::Preferences:
        return QAction::PreferencesRole;
    case KoMainMenu::Command::About:
        return QAction::AboutRole;
    default:
        return QAction::NoRole;
    }
}

}  // namespace

const QList<KoMainMenu::Entry>& KoMainMenu::table()
{
    using C = Command;
    static const QList<Entry> entries{
        {C::Open, "&File", "&Open…", {ctrl(Qt::Key_O)}},
        {C::OpenAddress, "&File", "Open Address…", {ctrl(Qt::Key_U)}},
        {C::NewFolder, "&File", "", {}, 0, true},  // the sidebar's own, Ctrl+Shift+N
        {C::NewSubscription, "&File", "", {}},
        {C::CloseTab, "&File", "Close Tab", {ctrl(Qt::Key_W)}, 0, true},
        {C::ClearComplete, "&File", "Clear Complete", {}, 0, true},
        {C::Quit, "&File", "&Quit", {ctrl(Qt::Key_Q)}, 0, true, true},

        {C::Undo, "&Edit", "Undo", {ctrl(Qt::Key_Z)}},
        {C::Redo, "&Edit", "Redo", {ctrl(Qt::Key_Z, Qt::ShiftModifier)}},
        {C::Cut, "&Edit", "Cut", {ctrl(Qt::Key_X)}, 0, true},
        {C::Copy, "&Edit", "Copy", {ctrl(Qt::Key_C)}},
        {C::Paste, "&Edit", "Paste", {ctrl(Qt::Key_V)}},
        {C::SelectAll, "&Edit", "Select All", {ctrl(Qt::Key_A)}},
        {C::Find, "&Edit", "Find", {ctrl(Qt::Key_F)}, 99, true},
        {C::RemoveSource, "&Edit", "", {}, 1},  // the sidebar's own
        {C::Preferences, "&Edit", "Preferences…", {ctrl(Qt::Key_Comma)}, 0, true},

        {C::NewTab, "&View", "New Tab", {ctrl(Qt::Key_T)}},
        {C::SelectNextTab, "&View", "Select Next Tab", {ctrl(Qt::Key_Right, Qt::ShiftModifier), ctrl(Qt::Key_PageDown)}, 1},
        {C::SelectPreviousTab, "&View", "Select Previous Tab", {ctrl(Qt::Key_Left, Qt::ShiftModifier), ctrl(Qt::Key_PageUp)}, 1},
        {C::MakeTextLarger, "&View", "Make Text Larger", {ctrl(Qt::Key_Plus), ctrl(Qt::Key_Equal)}, 0, true},
        {C::MakeTextSmaller, "&View", "Make Text Smaller", {ctrl(Qt::Key_Minus)}},
        {C::MarkAllRead, "&View", "Mark All Read", {}, 1, true},
        {C::ShowSources, "&View", "", {}, 0, true},  // the sidebar's own, Ctrl+1 to Ctrl+5
        {C::ShowAllTransfers, "&View", "", {}},
        {C::ShowActiveTransfers, "&View", "", {}},
        {C::ShowInactiveTransfers, "&View", "", {}},
        {C::ShowCompleteTransfers, "&View", "", {}},

        {C::OpenTransfer, "&Transfers", "Open", {}},
        {C::RevealTransfer, "&Transfers", "Reveal", {}},
        {C::QuickLook, "&Transfers", "Quick Look", {}},
        {C::RemoveTransfer, "&Transfers", "Remove", {}},

        {C::SearchPlayingArtist, "&Search", "Search for Playing Artist", {}},
        {C::SearchPlayingSong, "&Search", "Search for Playing Song", {}},

        {C::Help, "&Help", "Ombrelay Help", {}},
        {C::WebSite, "&Help", "Ombrelay Web Site", {}},
        {C::Blog, "&Help", "Ombrelay Blog", {}},
        {C::SendFeedback, "&Help", "Send Feedback…", {}, 0, true},
        {C::TellAFriend, "&Help", "Tell a Friend…", {}},
        {C::ShortMessagePage, "&Help", "Ombrelay on Twitter", {}, 0, true},
        {C::SocialPage, "&Help", "Ombrelay on Facebook", {}},
        {C::MakerSite, "&Help", "Vrask Web Site", {}},
        {C::About, "&Help", "About Ombrelay", {}, 0, true},
    };
    return entries;
}

KoMainMenu::KoMainMenu(QObject* parent) : QObject(parent), m_validation(new QTimer(this))
{
    m_validation->setSingleShot(true);
    m_validation->setInterval(0);
    connect(m_validation, &QTimer::timeout, this, &KoMainMenu::validate);
    qApp->installEventFilter(this);
}

KoMainMenu::~KoMainMenu()
{
    stopListening(this);
    qApp->removeEventFilter(this);
}

void KoMainMenu::setCommand(Command command, std::function<void()> run, std::function<bool()> isEnabled)
{
    m_handlers[command] = {std::move(run), std::move(isEnabled)};
}

void KoMainMenu::adoptAction(Command command, QAction* action)
{
    m_adopted[command] = action;
}

void KoMainMenu::build(QMenuBar* bar)
{
    std::map<QString, QMenu*> menus;
    for (const Entry& entry : table()) {
        const QString menuTitle = tr(entry.menu);
        QMenu*& menu = menus[menuTitle];
        if (!menu) {
            menu = bar->addMenu(menuTitle);
            connect(menu, &QMenu::aboutToShow, this, &KoMainMenu::validate);
        }
        const auto adopted = m_adopted.find(entry.command);
        QAction* action = adopted == m_adopted.end() ? nullptr : adopted->second.data();
        if (!action && !*entry.title)
            continue;  // brings its own action, and none was given
        if (entry.separatorBefore && !menu->isEmpty())
            menu->addSeparator();
        if (action) {
            menu->addAction(action);
        } else {
            action = menu->addAction(tr(entry.title));
            action->setShortcuts(entry.keys);
            action->setMenuRole(roleOf(entry.command));
            connect(action, &QAction::triggered, this, [this, command = entry.command] {
                if (mayRun(command))
                    m_handlers[command].run();
            });
        }
        action->setData(entry.tag);
        m_actions[entry.command] = action;
    }
    validate();
}

QAction* KoMainMenu::action(Command command) const
{
    const auto found = m_actions.find(command);
    return found == m_actions.end() ? nullptr : found->second.data();
}

QList<QAction*> KoMainMenu::actions() const
{
    QList<QAction*> list;
    for (const auto& [command, action] : m_actions)
        if (action)
            list.append(action);
    return list;
}

bool KoMainMenu::modalWindowIsUp()
{
    return QApplication::activeModalWidget() != nullptr;
}

bool KoMainMenu::mayRun(Command command) const
{
    const auto found = m_handlers.find(command);
    if (found == m_handlers.end() || !found->second.run)
        return false;
    if (modalWindowIsUp()) {
        const auto entry = std::find_if(table().begin(), table().end(),
                                        [command](const Entry& e) { return e.command == command; });
        if (entry == table().end() || !entry->actsOverModals)
            return false;
    }
    return !found->second.isEnabled || found->second.isEnabled();
}

QAction* KoMainMenu::enabledActionForKey(const QKeyEvent& key, bool overModals) const
{
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    // A shifted symbol ("+") is also tried without its Shift, as the shortcut map does.
    const QKeySequence pressed[] = {QKeySequence(QKeyCombination(modifiers, Qt::Key(key.key()))),
                                    QKeySequence(QKeyCombination(modifiers & ~Qt::ShiftModifier, Qt::Key(key.key())))};
    // The key as pressed first: Ctrl+Shift+Z is Redo before it is a shifted Undo.
    const int tries = modifiers.testFlag(Qt::ShiftModifier) ? 2 : 1;
    for (int tried = 0; tried < tries; ++tried) {
        for (const Entry& entry : table()) {
            if (overModals && !entry.actsOverModals)
                continue;
            QAction* action = this->action(entry.command);
            if (action && action->isEnabled() && action->shortcuts().contains(pressed[tried]))
                return action;
        }
    }
    return nullptr;
}

bool KoMainMenu::isInApplicationWindow(const QObject* receiver)
{
    // Judged by the focus widget: the receiver may be an item inside it (a web page's), which is not
    // always safe to ask about itself. Compared only, it is the key's first receiver.
    const QWidget* focus = QApplication::focusWidget();
    const QWidget* window = nullptr;
    if (focus && (receiver == focus || receiver == QGuiApplication::focusObject()))
        window = focus->window();
    else if (!focus && receiver == QApplication::activeWindow())
        window = QApplication::activeWindow();
    if (!window || QApplication::activePopupWidget())
        return false;
    return window->windowType() == Qt::Window || window->windowType() == Qt::Dialog;
}

QAction* KoMainMenu::commandForKey(const QObject* receiver, const QKeyEvent& key) const
{
    // Behind a modal window only Quit acts; otherwise a command's key acts from any window of the
    // program, whatever its shortcut context, but a text field keeps its own moving and selecting keys.
    if (modalWindowIsUp())
        return enabledActionForKey(key, true);
    if (!isInApplicationWindow(receiver) || isTextKeyOfFocusedField(key))
        return nullptr;
    return enabledActionForKey(key, false);
}

bool KoMainMenu::isTextKeyOfFocusedField(const QKeyEvent& key)
{
    // Moving and selecting by word and by line; Ctrl+U and the like stay the commands'.
    static const QKeySequence::StandardKey textKeys[] = {
        QKeySequence::MoveToNextWord, QKeySequence::MoveToPreviousWord, QKeySequence::SelectNextWord,
        QKeySequence::SelectPreviousWord, QKeySequence::MoveToStartOfLine, QKeySequence::MoveToEndOfLine,
        QKeySequence::SelectStartOfLine, QKeySequence::SelectEndOfLine, QKeySequence::MoveToStartOfDocument,
        QKeySequence::MoveToEndOfDocument, QKeySequence::SelectStartOfDocument, QKeySequence::SelectEndOfDocument,
    };
    const QWidget* focus = QApplication::focusWidget();
    // A line edit, an editable text or the editable element of a web page.
    if (!focus || !focus->inputMethodQuery(Qt::ImEnabled).toBool())
        return false;
    return std::any_of(std::begin(textKeys), std::end(textKeys), [&key](QKeySequence::StandardKey standard) {
        return key.matches(standard);
    });
}

void KoMainMenu::validate()
{
    m_validation->stop();
    for (const auto& [command, action] : m_actions) {
        if (action && !m_adopted.count(command))
            action->setEnabled(mayRun(command));
    }
    if (m_validateAdopted)
        m_validateAdopted();
}

void KoMainMenu::validateLater()
{
    m_validation->start();
}

bool KoMainMenu::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Before the key is matched against the shortcuts.
        auto* key = static_cast<QKeyEvent*>(event);
        if (!(key->modifiers() & Qt::ControlModifier))
            break;
        validate();
        // Taken here, the key comes back as a key press: to the field that keeps it, or to the command.
        if ((!modalWindowIsUp() && isInApplicationWindow(watched) && isTextKeyOfFocusedField(*key))
            || commandForKey(watched, *key)) {
            key->accept();
            return true;
        }
        break;
    }
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!(key->modifiers() & Qt::ControlModifier))
            break;
        if (QAction* action = commandForKey(watched, *key)) {
            action->trigger();
            return true;
        }
        break;
    }
    case QEvent::Show:
    case QEvent::Hide:
        if (watched->isWidgetType()) {
            const auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow() && widget->windowModality() != Qt::NonModal)
                validateLater();
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace ombrelay
