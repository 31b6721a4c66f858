#include "app/tabs/PZSquareTabView.h"

#include "app/tabs/CurrentTabView.h"
#include "app/tabs/OverflowButton.h"
#include "app/tabs/PZSquareTabButton.h"
#include "app/tabs/SquareTabArtwork.h"
#include "app/web/WebController.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "kit/Settings.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PZViewExtensions.h"

#include <QMouseEvent>
#include <QPainter>
#include <QMenuBar>
#include <QShortcut>

namespace ombrelay {

namespace {

constexpr int kInset = 6;

}  // namespace

PZSquareTabView::Layout PZSquareTabView::layoutFor(int stripWidth, int tabCount)
{
    Layout layout;
    int available = std::max(0, stripWidth - 2 * kInset);
    int shown = tabCount;
    if (kMinWidth * shown > available) {
        layout.overflow = true;
        available = std::max(0, available - kOverflowWidth);
        while (shown > 0 && kMinWidth * shown > available)
            --shown;
    }
    layout.shown = shown;
    if (shown == 0)
        return layout;
    const int width = std::clamp(available / shown, kMinWidth, kMaxWidth);
    const int remainder = width < kMaxWidth ? available % shown : 0;
    int x = kInset;
    for (int i = 0; i < shown; ++i) {
        const int w = width + (i < remainder ? 1 : 0);
        layout.x << x;
        layout.widths << w;
        x += w;
    }
    return layout;
}

PZSquareTabView::PZSquareTabView(QWidget* parent) : QWidget(parent), m_overflowButton(new OverflowButton(this))
{
    SquareTabArtwork::registerImages();
    setFixedHeight(kHeight);
    m_overflowButton->hide();
    auto shortcut = [this](const QKeySequence& keys, void (PZSquareTabView::*slot)()) {
        auto* made = new QShortcut(keys, this);
        made->setContext(Qt::WindowShortcut);
        connect(made, &QShortcut::activated, this, slot);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_W), &PZSquareTabView::closeSelectedTab);
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Left), &PZSquareTabView::selectPreviousTab);
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Right), &PZSquareTabView::selectNextTab);
}

PZSquareTabView::~PZSquareTabView()
{
    stopListening(this);
}

QList<PZSquareTabButton*> PZSquareTabView::hiddenTabs() const
{
    return m_tabs.mid(m_shown);
}

QList<PZSquareTabButton*> PZSquareTabView::visibleTabs() const
{
    return m_tabs.mid(0, m_shown);
}

PZSquareTabButton* PZSquareTabView::addTabWithController(PZViewController* controller)
{
    auto* button = new PZSquareTabButton(controller, this);
    connect(button, &PZSquareTabButton::pressedDown, this, [this](PZSquareTabButton* pressed) {
        if (!pressed->isSelected())
            selectButton(pressed);
    });
    m_tabs.append(button);
    relayoutViews();
    update();
    controller->setTabButton(button);
    return button;
}

void PZSquareTabView::newTab()
{
    newTabWithURL(QUrl(Settings::instance().string(QStringLiteral("kDefaultSite")), QUrl::StrictMode), true);
}

void PZSquareTabView::newTabWithURL(const QUrl& address, bool shouldSelect)
{
    addTabWithController(new WebController(address));
    if (shouldSelect)
        selectButtonAtIndex(int(m_tabs.size()) - 1);
}

void PZSquareTabView::selectButtonAtIndex(int index)
{
    if (index >= 0) {
        for (int i = 0; i < m_tabs.size(); ++i)
            m_tabs[i]->setIsSelected(i == index);
    }
    postNotificationAboutSelf(this, QStringLiteral("PZSquareTabViewSelectionDidChange"));
    update();
}

void PZSquareTabView::selectButton(PZSquareTabButton* button)
{
    selectButtonAtIndex(int(m_tabs.indexOf(button)));
}

int PZSquareTabView::selectedIndex() const
{
    for (int i = 0; i < m_tabs.size(); ++i) {
        if (m_tabs[i]->isSelected())
            return i;
    }
    return -1;
}

PZSquareTabButton* PZSquareTabView::selectedButton() const
{
    const int index = selectedIndex();
    return index < 0 ? nullptr : m_tabs[index];
}

void PZSquareTabView::selectNextTab()
{
    if (m_tabs.isEmpty())
        return;
    selectButtonAtIndex((selectedIndex() + 1) % int(m_tabs.size()));
}

void PZSquareTabView::selectPreviousTab()
{
    if (m_tabs.isEmpty())
        return;
    const int count = int(m_tabs.size());
    const int selected = selectedIndex();
    selectButtonAtIndex(selected < 0 ? count - 1 : (count + selected - 1) % count);
}

bool PZSquareTabView::canCloseSelectedTab() const
{
    const PZSquareTabButton* selected = selectedButton();
    return selected && selected->canClose();
}

void PZSquareTabView::closeSelectedTab()
{
    if (canCloseSelectedTab())
        closeTab(selectedButton());
}

void PZSquareTabView::closeTab(PZSquareTabButton* button)
{
    const int index = int(m_tabs.indexOf(button));
    if (index < 0)
        return;
    const bool wasSelected = button->isSelected();
    m_tabs.removeAt(index);
    delete button;  // its controller, and with a web tab its page, end now
    relayoutViews();
    update();
    if (wasSelected)
        selectButtonAtIndex(m_tabs.isEmpty() ? -1 : std::min(index, int(m_tabs.size()) - 1));
    if (m_tabs.isEmpty())
        emit lastTabClosed();
}

void PZSquareTabView::relayoutViews()
{
    const Layout layout = layoutFor(width(), int(m_tabs.size()));
    m_overflowButton->setVisible(layout.overflow);
    m_overflowButton->setGeometry(width() - kInset - kOverflowWidth, kHeight - PZSquareTabButton::kHeight,
                                  kOverflowWidth, PZSquareTabButton::kHeight);
    m_shown = layout.shown;
    for (int i = 0; i < m_tabs.size(); ++i) {
        PZSquareTabButton* tab = m_tabs[i];
        if (i < layout.shown) {
            const QRect frame(layout.x[i], kHeight - PZSquareTabButton::kHeight, layout.widths[i], PZSquareTabButton::kHeight);
            if (tab->geometry() != frame)
                tab->setGeometry(frame);
        }
        if (tab->isVisibleTo(this) != (i < layout.shown))
            tab->setVisible(i < layout.shown);
    }
}

void PZSquareTabView::resizeEvent(QResizeEvent*)
{
    relayoutViews();
}

void PZSquareTabView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        newTab();
}

void PZSquareTabView::showEvent(QShowEvent*)
{
    CurrentTabView::instance().setContent(this);
    const bool menuBarHasKeys = window()->findChild<QMenuBar*>() != nullptr;
    for (QShortcut* shortcut : findChildren<QShortcut*>(Qt::FindDirectChildrenOnly))
        shortcut->setEnabled(!menuBarHasKeys);
}

void PZSquareTabView::hideEvent(QHideEvent*)
{
    PerformLater::schedule(this, [this] {
        if (!isVisible() && CurrentTabView::instance().content() == this)
            CurrentTabView::instance().setContent(nullptr);
    }, 0, QStringLiteral("leftWindow"));
}

void PZSquareTabView::paintTab(QPainter& painter, const PZSquareTabButton* tab, Side side, bool active) const
{
    const QRect frame = tab->geometry();
    if (side == Side::Selected) {
        // Caps at both ends of (x - 4, width + 8), the fill between them.
        const QString name = active ? QStringLiteral("TabSelected") : QStringLiteral("TabSelectedInactive");
        const QPixmap left = PZImage::imageNamed(name + QStringLiteral("Left"));
        const QPixmap right = PZImage::imageNamed(name + QStringLiteral("Right"));
        const QRect area(frame.x() - 4, frame.y(), frame.width() + 8, frame.height());
        const int cap = SquareTabArtwork::kCapWidth;
        PZImageDrawing::drawInRect(painter, left, QRectF(area.x(), area.y(), cap, area.height()));
        PZImageDrawing::drawAsPatternInRect(painter, PZImage::imageNamed(name + QStringLiteral("Fill")),
                                            QRectF(area.x() + cap, area.y(), area.width() - 2 * cap, area.height()));
        PZImageDrawing::drawInRect(painter, right, QRectF(area.right() + 1 - cap, area.y(), cap, area.height()));
        return;
    }
    const QString name = QLatin1String(tab->isMouseOver() ? "TabHover" : "TabInactive")
                         + (active ? QString() : QStringLiteral("Alternate"));
    // Each overlaps toward the selected tab.
    QRect area;
    if (side == Side::Left) {
        const bool lastBeforeOverflow = m_overflowButton->isVisibleTo(this) && tab == visibleTabs().constLast();
        area = QRect(frame.x() - 4, frame.y(), frame.width() + (lastBeforeOverflow ? 8 : 18), frame.height());
    } else {
        area = QRect(frame.x() - 18, frame.y(), frame.width() + 22, frame.height());
    }
    PZImageDrawing::drawInRect(painter, PZImage::imageNamed(name), area, SquareTabArtwork::kCapWidth);
}

void PZSquareTabView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool tinted = PZViewExtensions::shouldDrawWithBlueTint(this);
    painter.fillRect(rect(), tinted ? QColor::fromRgbF(0.796078f, 0.823529f, 0.866667f) : QColor::fromRgbF(0.831373f, 0.831373f, 0.831373f));
    const float line = tinted ? 0.341176f : 0.529412f;
    painter.fillRect(QRect(0, 0, width(), 1), QColor::fromRgbF(line, line, line));
    const bool active = isInActiveWindow();
    const QList<PZSquareTabButton*> visible = visibleTabs();
    const PZSquareTabButton* selected = selectedButton();
    const int selectedAt = int(visible.indexOf(selected));
    const int split = selectedAt < 0 ? int(visible.size()) : selectedAt;
    for (int i = 0; i < split; ++i)
        paintTab(painter, visible[i], Side::Left, active);
    for (int i = int(visible.size()) - 1; i > split; --i)
        paintTab(painter, visible[i], Side::Right, active);
    painter.fillRect(QRect(0, kHeight - 1, width(), 1), QColor(128, 128, 130));
    PZImageDrawing::drawInRect(painter, PZImage::imageNamed(QStringLiteral("TabShadow")), QRectF(0, 1, width(), 6));
    if (selectedAt >= 0)
        paintTab(painter, selected, Side::Selected, active);  // a selected tab in the overflow menu is not drawn
}

bool PZSquareTabView::isInActiveWindow() const
{
    return window()->isActiveWindow();
}

}  // namespace ombrelay
