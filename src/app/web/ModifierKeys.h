#pragma once

#include <QObject>

namespace ombrelay {

// The modifier keys held now, followed by an application event filter: `changed` fires when they change,
// as the flags-changed events of the window did.
class ModifierKeys : public QObject
{
    Q_OBJECT
public:
    static ModifierKeys& instance();
    Qt::KeyboardModifiers current() const { return m_current; }

signals:
    void changed(Qt::KeyboardModifiers modifiers);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ModifierKeys();
    Qt::KeyboardModifiers m_current;
};

}  // namespace ombrelay
