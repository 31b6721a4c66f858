#pragma once

#include <QAbstractButton>
#include <functional>

namespace ombrelay {

// A small flat button for the dark bars of the panes: "FlatButtonActive" while pressed, "FlatButton"
// when enabled, "FlatButtonInactive" otherwise, with 4-point caps, and its title in white. As wide as
// its title plus 22 points.
class FlatButton : public QAbstractButton
{
    Q_OBJECT
public:
    static constexpr int kHeight = 18;
    static constexpr int kTitlePadding = 22;

    explicit FlatButton(const QString& title, QWidget* parent = nullptr);

    // Enabled exactly while `hasNewItems` answers true: asked now and on every
    // "RSSOutlineViewStatusChanged" that `target` posts.
    void followNewItemsOf(QObject* target, std::function<bool()> hasNewItems);

    QSize sizeHint() const override;
    QString imageName() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace ombrelay
