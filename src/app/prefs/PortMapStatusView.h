#pragma once

#include <QWidget>

class QLabel;

namespace ombrelay {

// The port the engine listens on, and whether the router maps it: shown while the mapping holds.
class PortMapStatusView : public QWidget
{
    Q_OBJECT
public:
    explicit PortMapStatusView(QWidget* parent = nullptr);
    ~PortMapStatusView() override;

    void updateStatus();
    void updatePortField();
    QLabel* portField() const { return m_portField; }
    QLabel* mappedLabel() const { return m_mapped; }

private:
    QLabel* m_portField;
    QLabel* m_mapped;
};

}  // namespace ombrelay
