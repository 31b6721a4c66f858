#pragma once

#include "app/toolbar/MainToolbar.h"

#include <QMetaObject>
#include <QPointer>
#include <QStackedWidget>
#include <QToolBar>

class QAbstractItemView;

namespace ombrelay {

class Settings;
class ToolbarDelegate;

// The main window's content switcher: shows one view at a time (the start view, the pane of the
// selected source-list item, or the transfers view). Views stay alive while hidden, so their lists keep
// scroll position and selection across a swap. It also swaps the window's single toolbar between the
// shown views' delegates, carrying the user's display settings from one to the next; each delegate's
// items show in the user's arrangement, which "Customize Toolbar…" changes.
class KoContentView : public QStackedWidget
{
    Q_OBJECT
public:
    explicit KoContentView(QWidget* parent = nullptr);
    ~KoContentView() override;

    void setSettings(Settings* settings) { m_settings = settings; }
    void setDownloadsView(QWidget* view) { m_downloadsView = view; }
    void setDownloadsToolbarDelegate(ToolbarDelegate* delegate) { m_downloadsDelegate = delegate; }
    // The start view and its toolbar delegate (a placeholder view until the start page exists).
    void setAnonymousView(QWidget* view, ToolbarDelegate* delegate);
    QWidget* anonymousView();

    void showAnonymousView();
    void showMainPane(QWidget* view);
    void showDownloadsView();
    // Adds the view when it is new and shows it.
    void showView(QWidget* view);
    QWidget* currentView() const { return currentWidget(); }

    // The list of the shown view (KeyViewLoop::listInView); null for none.
    QAbstractItemView* currentTableView() const;

    void setToolbarDelegate(ToolbarDelegate* delegate, bool force = false);
    ToolbarDelegate* toolbarDelegate() const { return m_toolbarDelegate; }
    QToolBar* currentToolbar() const { return m_toolbar; }
    // Revalidates the toolbar's items (while and after the shown list's selection changes).
    void selectionIsChanging();
    // Stores the toolbar's display settings and returns to the start view's delegate.
    void applicationWillTerminate();
    // The toolbar's "Customize Toolbar…": a panel on the window that arranges the shown delegate's items.
    void customizeToolbar();

private:
    Settings& settings() const;
    // The delegate's items in the user's arrangement.
    void showItems(ToolbarDelegate& delegate);

    Settings* m_settings = nullptr;
    QPointer<QWidget> m_downloadsView;
    QPointer<QWidget> m_anonymousView;
    ToolbarDelegate* m_anonymousDelegate = nullptr;
    ToolbarDelegate* m_toolbarDelegate = nullptr;
    ToolbarDelegate* m_downloadsDelegate = nullptr;
    QPointer<MainToolbar> m_toolbar;
    QMetaObject::Connection m_tableSelection;
};

}  // namespace ombrelay
