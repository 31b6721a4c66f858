#pragma once

#include <QString>
#include <QWidget>

namespace ombrelay {

class SuggestionView;

// One row of the suggestion list: plain text, drawn on the selection gradient while selected.
class Suggestion : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kHeight = 17;

    Suggestion(const QString& stringValue, SuggestionView* suggestionView);

    QString stringValue() const { return m_stringValue; }
    bool isSelected() const { return m_isSelected; }
    void setIsSelected(bool selected);
    int idealWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    SuggestionView* m_suggestionView;
    QString m_stringValue;
    bool m_isSelected = false;
};

}  // namespace ombrelay
