#pragma once

#include <QAbstractButton>

namespace ombrelay {

// One filter button: its name and, when above 0 and not hidden, its count ("Active (3)"). The selected
// button is drawn pressed in; a border shows while the pointer is over a button.
class PZRoundTabButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit PZRoundTabButton(QWidget* parent = nullptr);

    const QString& name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    int count() const { return m_count; }
    void setCount(int count) { m_count = count; }
    bool hideCount() const { return m_hideCount; }
    void setHideCount(bool hide) { m_hideCount = hide; }
    bool isSelected() const { return m_isSelected; }
    void setIsSelected(bool selected);

    // The title to show: "%1 (%2)" with the count, or the bare name.
    QString stringValue() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString m_name;
    int m_count = 0;
    bool m_hideCount = false;
    bool m_isSelected = false;
    bool m_hovered = false;
};

}  // namespace ombrelay
