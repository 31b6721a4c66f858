#include "search/suggestions/SearchField.h"

#include "kit/Settings.h"
#include "search/SourceListActions.h"
#include "search/suggestions/SuggestionView.h"
#include "search/suggestions/SuggestionWindow.h"

#include <QKeyEvent>

namespace ombrelay {

SearchField::SearchField(QWidget* parent) : QLineEdit(parent)
{
    setPlaceholderText(tr("Search"));
    setClearButtonEnabled(true);
    connect(this, &QLineEdit::textEdited, this, &SearchField::searchForString);
}

SearchField::~SearchField()
{
    delete m_suggestionWindow;
}

bool SearchField::vistrelEnabled()
{
    const Settings& settings = Settings::instance();
    return settings.boolean(QStringLiteral("kVistrelEnabled")) && settings.boolean(QStringLiteral("kVistrelAvailable"));
}

SuggestionWindow* SearchField::suggestionWindow()
{
    if (!m_suggestionWindow) {
        m_suggestionWindow = new SuggestionWindow(this);
        connect(m_suggestionWindow->suggestionView(), &SuggestionView::suggestionClicked, this,
                [this](const QString& text) {
                    clear();
                    finalizeSearch();
                    search(text);
                });
    }
    return m_suggestionWindow;
}

SuggestionView* SearchField::suggestionView()
{
    return suggestionWindow()->suggestionView();
}

void SearchField::searchForString(const QString& text)
{
    if (vistrelEnabled())
        suggestionView()->setQueryString(text);
}

bool SearchField::listIsVisible() const
{
    return m_suggestionWindow && m_suggestionWindow->isVisible();
}

void SearchField::downKeyPressed()
{
    if (listIsVisible())
        suggestionView()->downKeyPressed();
}

void SearchField::upKeyPressed()
{
    if (listIsVisible())
        suggestionView()->upKeyPressed();
}

void SearchField::enterKeyPressed()
{
    const QString terms = text();
    finalizeSearch();
    search(terms);
    clear();
}

void SearchField::finalizeSearch()
{
    if (m_suggestionWindow)
        m_suggestionWindow->hideSuggestionWindow();
}

void SearchField::search(const QString& terms)
{
    if (m_sourceList && !terms.trimmed().isEmpty())
        m_sourceList->addNewQueryForString(terms);
}

void SearchField::keyPressEvent(QKeyEvent* event)
{
    const int rows = listIsVisible() ? suggestionView()->numberOfSuggestions() : 0;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        enterKeyPressed();
        return;
    case Qt::Key_Down:
        if (rows > 0) {
            downKeyPressed();
            return;
        }
        break;
    case Qt::Key_Up:
        if (rows > 0 && suggestionView()->selectedIndex() >= 0) {
            upKeyPressed();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (listIsVisible()) {
            suggestionView()->restoreOriginalQueryString();
            m_suggestionWindow->hideSuggestionWindow();
            return;
        }
        break;
    default:
        if (overtypeCompletion(event))
            return;
        break;
    }
    QLineEdit::keyPressEvent(event);
}

bool SearchField::overtypeCompletion(QKeyEvent* event)
{
    const QString typed = event->text();
    if (typed.isEmpty() || !hasSelectedText() || selectionStart() == 0 || !selectedText().startsWith(typed))
        return false;
    const QString whole = text();
    const int start = selectionStart();
    const int length = int(selectedText().size());
    QLineEdit::keyPressEvent(event);
    setText(whole);
    setSelection(start + int(typed.size()), length - int(typed.size()));
    return true;
}

bool SearchField::focusNextPrevChild(bool next)
{
    finalizeSearch();
    QWidget* target = m_keyView ? m_keyView(next) : nullptr;
    if (!target)
        return QLineEdit::focusNextPrevChild(next);
    target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void SearchField::focusOutEvent(QFocusEvent* event)
{
    if (listIsVisible())
        m_suggestionWindow->hideSuggestionWindow();
    QLineEdit::focusOutEvent(event);
}

}  // namespace ombrelay
