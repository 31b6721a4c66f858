#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QParallelAnimationGroup>
#include <QPointer>
#include <QSize>

class QAction;
class QActionGroup;
class QToolBar;
class QWidget;

namespace ombrelay {

class KoPreferencesWindow;

// One pane's toolbar item: its view, the view's size when added, and whether the pane may grow in height.
struct PZPreferencesToolbarItem
{
    QString identifier;
    QString label;
    QWidget* panelView = nullptr;
    QSize initialSize;
    bool heightSizable = false;
    QAction* action = nullptr;
};

// The preferences window's pane switcher: a toolbar of panes; a switch resizes the window around the new
// pane in 0.275 s keeping its top edge, while the old pane fades out and the new one in. Clicks during a
// switch are ignored. A pane that comes to need more height (a line of text shown) grows the window
// downwards while it needs it.
class PZPreferencesController : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSwitchDurationMs = 275;

    explicit PZPreferencesController(QObject* parent = nullptr);
    ~PZPreferencesController() override;

    void addPane(const QString& identifier, const QString& label, const QIcon& icon, QWidget* pane,
                 bool heightSizable = false);
    const QList<PZPreferencesToolbarItem>& items() const { return m_items; }
    void showPaneForItem(int index);
    int currentIndex() const { return m_current; }
    QWidget* currentPane() const;
    bool isAnimating() const { return m_animation != nullptr; }
    KoPreferencesWindow* window() const { return m_window; }
    // Centred the first time, then where the user left it.
    void showWindow();
    // The first pane, which holds the search sites, chosen and the window brought to the front.
    void editSites();
    // The window around a pane: as the pane was when added, taller while it needs more.
    QSize windowSizeFor(int index) const;

signals:
    // The window hides or the program quits: panes write what is being edited.
    void commitEditing();

private:
    void finishSwitch(QWidget* previous);
    void placePanes();
    void applySizeLimits(int index);

    KoPreferencesWindow* m_window;
    QToolBar* m_toolbar;
    QWidget* m_stage;
    QActionGroup* m_group;
    QList<PZPreferencesToolbarItem> m_items;
    int m_current = -1;
    bool m_hasInited = false;
    bool m_everShown = false;
    QPointer<QParallelAnimationGroup> m_animation;
};

}  // namespace ombrelay
