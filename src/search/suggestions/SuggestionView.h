#pragma once

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <memory>

#include <QLineEdit>

namespace ombrelay {

class Suggestion;
class SuggestionLoader;

// The suggestion list inside the drop-down window: loads suggestions for the typed text (the newest
// request replaces the one running), lists them, walks them with the keys and completes the field inline.
class SuggestionView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kFirstRowTop = 21;
    static constexpr int kExtraHeight = 26;

    SuggestionView(QLineEdit* searchField, QWidget* window);
    ~SuggestionView() override;

    QString queryString() const { return m_queryString; }
    void setQueryString(const QString& text);
    void setStrings(const QStringList& strings);
    void killConnection();
    bool isLoading() const;

    void downKeyPressed();
    void upKeyPressed();
    int selectedIndex() const;
    Suggestion* selectedObject() const;
    int numberOfSuggestions() const { return int(m_currentViews.size()); }
    const QList<Suggestion*>& currentViews() const { return m_currentViews; }

    void alterTextField(const QString& suggestion);
    void restoreOriginalQueryString();

    void addWindow();
    void removeWindow();
    void syncWindowWithSearchField();
    void resizeWindowForLines(int lines);

    QLineEdit* searchField() const { return m_searchField; }

    void rowEntered(Suggestion* row);
    void rowLeft(Suggestion* row);
    void rowClicked(Suggestion* row);

signals:
    void suggestionClicked(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void select(int index);
    void layOutRows();

    QPointer<QLineEdit> m_searchField;
    QString m_queryString;
    QList<Suggestion*> m_currentViews;
    std::unique_ptr<SuggestionLoader> m_suggestionLoader;
};

}  // namespace ombrelay
