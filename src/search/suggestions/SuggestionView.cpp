#include "search/suggestions/SuggestionView.h"

#include "kit/PerformLater.h"
#include "search/suggestions/Suggestion.h"
#include "search/suggestions/SuggestionLoader.h"
#include "uikit/PZRoundRect.h"
#include "uikit/PZText.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>

namespace ombrelay {
namespace {

const QString kRestoreKey = QStringLiteral("restoreOriginalQueryString");

// The heading's style: system font 11 in a mid grey.
PZTextAttributes headingAttributes()
{
    PZTextAttributes attributes = PZText::textAttributes11();
    attributes.color = QColor::fromRgbF(0.588235f, 0.588235f, 0.588235f, 1.0f);
    return attributes;
}

}  // namespace

SuggestionView::SuggestionView(QLineEdit* searchField, QWidget* window)
    : QWidget(window), m_searchField(searchField)
{
}

SuggestionView::~SuggestionView()
{
    PerformLater::cancel(this);
}

void SuggestionView::setQueryString(const QString& text)
{
    const QString previous = m_queryString;
    m_queryString = text;
    if (text.isEmpty()) {
        setStrings({});
        killConnection();
        return;
    }
    if (text == previous)
        return;
    killConnection();
    m_suggestionLoader = std::make_unique<SuggestionLoader>(text);
    connect(m_suggestionLoader.get(), &SuggestionLoader::suggestionsLoaded, this,
            [this](SuggestionLoader* loader) { setStrings(loader->suggestedStrings()); });
}

void SuggestionView::killConnection()
{
    if (m_suggestionLoader) {
        m_suggestionLoader->killConnection();
        m_suggestionLoader.release()->deleteLater();  // may be the loader reporting right now
    }
}

bool SuggestionView::isLoading() const
{
    return m_suggestionLoader && m_suggestionLoader->isLoading();
}

void SuggestionView::setStrings(const QStringList& strings)
{
    resizeWindowForLines(int(strings.size()));
    // Rows go later: the one clicked may be handling its event.
    for (Suggestion* row : std::as_const(m_currentViews)) {
        row->hide();
        row->deleteLater();
    }
    m_currentViews.clear();
    if (strings.isEmpty()) {
        removeWindow();
        return;
    }
    for (const QString& text : strings) {
        auto* row = new Suggestion(text, this);
        m_currentViews.append(row);
        row->show();
    }
    layOutRows();
    addWindow();
    syncWindowWithSearchField();
    update();
}

void SuggestionView::layOutRows()
{
    int top = kFirstRowTop;
    for (Suggestion* row : std::as_const(m_currentViews)) {
        row->setGeometry(0, top, width(), Suggestion::kHeight);
        top += Suggestion::kHeight;
    }
}

void SuggestionView::resizeEvent(QResizeEvent*)
{
    layOutRows();
}

int SuggestionView::selectedIndex() const
{
    for (int i = 0; i < m_currentViews.size(); ++i)
        if (m_currentViews.at(i)->isSelected())
            return i;
    return -1;
}

Suggestion* SuggestionView::selectedObject() const
{
    const int index = selectedIndex();
    return index < 0 ? nullptr : m_currentViews.at(index);
}

void SuggestionView::select(int index)
{
    for (int i = 0; i < m_currentViews.size(); ++i)
        m_currentViews.at(i)->setIsSelected(i == index);
}

void SuggestionView::downKeyPressed()
{
    const int next = selectedIndex() + 1;
    if (next >= m_currentViews.size())
        return;
    select(next);
    alterTextField(m_currentViews.at(next)->stringValue());
}

void SuggestionView::upKeyPressed()
{
    const int index = selectedIndex();
    if (index <= 0) {
        select(-1);
        restoreOriginalQueryString();
        return;
    }
    select(index - 1);
    alterTextField(m_currentViews.at(index - 1)->stringValue());
}

void SuggestionView::alterTextField(const QString& suggestion)
{
    if (!m_searchField || suggestion == m_queryString || m_queryString.isEmpty()
        || !suggestion.startsWith(m_queryString))
        return;
    m_searchField->setText(suggestion);
    if (suggestion.size() > m_queryString.size())
        m_searchField->setSelection(int(m_queryString.size()), int(suggestion.size() - m_queryString.size()));
}

void SuggestionView::restoreOriginalQueryString()
{
    if (m_searchField)
        m_searchField->setText(m_queryString);
}

void SuggestionView::addWindow()
{
    if (window()->isVisible())
        return;
    syncWindowWithSearchField();
    window()->show();
}

void SuggestionView::removeWindow()
{
    if (window()->isVisible())
        window()->hide();
}

void SuggestionView::resizeWindowForLines(int lines)
{
    const int height = lines * Suggestion::kHeight + kExtraHeight;
    if (window()->height() != height)
        window()->resize(window()->width(), height);
}

void SuggestionView::syncWindowWithSearchField()
{
    if (!m_searchField)
        return;
    int width = m_searchField->width();
    for (const Suggestion* row : std::as_const(m_currentViews))
        width = std::max(width, row->idealWidth());
    QPoint topLeft = m_searchField->mapToGlobal(QPoint(0, 29));
    // Kept on the field's screen.
    if (const QScreen* screen = m_searchField->screen()) {
        const QRect available = screen->availableGeometry();
        width = std::min(width, available.width());
        topLeft.setX(std::clamp(topLeft.x(), available.left(), available.right() + 1 - width));
        topLeft.setY(std::clamp(topLeft.y(), available.top(), std::max(available.top(), available.bottom() + 1 - window()->height())));
    }
    window()->setGeometry(QRect(topLeft, QSize(width, window()->height())));
}

void SuggestionView::rowEntered(Suggestion* row)
{
    select(int(m_currentViews.indexOf(row)));
    alterTextField(row->stringValue());
}

void SuggestionView::rowLeft(Suggestion* row)
{
    row->setIsSelected(false);
    PerformLater::scheduleOnce(this, [this] {
        if (selectedIndex() < 0)
            restoreOriginalQueryString();
    }, 10, kRestoreKey);
}

void SuggestionView::rowClicked(Suggestion* row)
{
    emit suggestionClicked(row->stringValue());
}

void SuggestionView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(PZRoundRect::roundRectangleInRect(rect(), 5), Qt::white);
    const PZTextAttributes style = headingAttributes();
    painter.setFont(style.font);
    painter.setPen(style.color);
    painter.drawText(QRect(10, 7, width() - 20, 15), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     tr("Suggestions"));
}

}  // namespace ombrelay
