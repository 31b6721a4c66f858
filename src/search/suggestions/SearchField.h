#pragma once

#include <QLineEdit>
#include <QPointer>
#include <functional>

namespace ombrelay {

class SourceListActions;
class SuggestionView;
class SuggestionWindow;

// The toolbar search field: offers suggestions while the user types (when "kVistrelEnabled" and
// "kVistrelAvailable" are on), walks them with the arrow keys and starts a search on Return or on a click
// of a suggestion.
class SearchField : public QLineEdit
{
    Q_OBJECT
public:
    explicit SearchField(QWidget* parent = nullptr);
    ~SearchField() override;

    static bool vistrelEnabled();

    void setSourceList(SourceListActions* sourceList) { m_sourceList = sourceList; }
    // Where Tab (next) and Shift+Tab go from the field: the window's answer is the view to focus, or
    // null for the usual focus chain.
    void setKeyViews(std::function<QWidget*(bool next)> keyView) { m_keyView = std::move(keyView); }
    SuggestionWindow* suggestionWindow();
    SuggestionView* suggestionView();

    void searchForString(const QString& text);
    void downKeyPressed();
    void upKeyPressed();
    void enterKeyPressed();
    void finalizeSearch();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    bool listIsVisible() const;
    void search(const QString& terms);
    // Typing a character of the inline completion keeps the rest of it selected.
    bool overtypeCompletion(QKeyEvent* event);

    SourceListActions* m_sourceList = nullptr;
    SuggestionWindow* m_suggestionWindow = nullptr;
    std::function<QWidget*(bool next)> m_keyView;
};

}  // namespace ombrelay
