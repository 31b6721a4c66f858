#pragma once

#include <QAbstractButton>

namespace ombrelay {

// A checkbox for the dark bars of the panes: its box ("FlatCheckboxChecked" or "FlatCheckboxUnchecked",
// the "Active" variant while pressed) 2 points in, and its title in white with the shadowed fields'
// shadow 20 points from the left edge. As wide as its title needs.
class FlatCheckbox : public QAbstractButton
{
    Q_OBJECT
public:
    static constexpr int kTitleOffset = 20;

    explicit FlatCheckbox(const QString& title, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QString imageName() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace ombrelay
