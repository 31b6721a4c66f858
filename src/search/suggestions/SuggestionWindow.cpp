#include "search/suggestions/SuggestionWindow.h"

#include "search/suggestions/SuggestionView.h"

#include <QApplication>
#include <QLineEdit>

namespace ombrelay {

SuggestionWindow::SuggestionWindow(QLineEdit* searchField)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      m_searchField(searchField), m_suggestionView(new SuggestionView(searchField, this))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setWindowOpacity(0.9529);
    resize(100, 180);
    searchField->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive && isVisible())
            hideSuggestionWindow();
    });
}

void SuggestionWindow::hideSuggestionWindow()
{
    m_suggestionView->killConnection();
    m_suggestionView->setQueryString({});
    hide();
}

void SuggestionWindow::resizeEvent(QResizeEvent*)
{
    m_suggestionView->setGeometry(rect());
}

void SuggestionWindow::showEvent(QShowEvent*)
{
    qApp->installEventFilter(this);
    m_followedWindow = m_searchField ? m_searchField->window() : nullptr;
}

void SuggestionWindow::hideEvent(QHideEvent*)
{
    qApp->removeEventFilter(this);
}

bool SuggestionWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Move:
        if (isVisible() && watched == m_followedWindow)
            m_suggestionView->syncWindowWithSearchField();
        break;
    case QEvent::Resize:
        if (isVisible() && watched == m_searchField)
            hideSuggestionWindow();
        break;
    default:
        break;
    }
    return false;
}

}  // namespace ombrelay
