#pragma once

#include <QPointer>
#include <QWidget>

#include <QLineEdit>

namespace ombrelay {

class SuggestionView;

// The frameless drop-down under the search field that holds the suggestion list. It never takes the
// focus; it follows the field's window and closes when the application is deactivated and when the field
// changes size. A Ctrl+click anywhere closes it through the application's hook.
class SuggestionWindow : public QWidget
{
    Q_OBJECT
public:
    explicit SuggestionWindow(QLineEdit* searchField);

    SuggestionView* suggestionView() const { return m_suggestionView; }
    QLineEdit* searchField() const { return m_searchField; }
    // Cancels the load, forgets the typed text and closes.
    void hideSuggestionWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<QLineEdit> m_searchField;
    QPointer<QWidget> m_followedWindow;
    SuggestionView* m_suggestionView;
};

}  // namespace ombrelay
