#pragma once

#include <QAbstractButton>
#include <functional>

namespace ombrelay {

// A small button that reveals a path in the file manager: the one its source answers when clicked,
// nothing when that is empty.
class RevealButton : public QAbstractButton
{
    Q_OBJECT
public:
    using PathSource = std::function<QString()>;

    explicit RevealButton(PathSource source, QWidget* parent = nullptr);

    virtual void action();

    QSize sizeHint() const override { return {14, 14}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PathSource m_source;
};

}  // namespace ombrelay
