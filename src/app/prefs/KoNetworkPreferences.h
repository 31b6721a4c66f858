#pragma once

#include <QWidget>

class QCheckBox;
class QSpinBox;
class QTimeEdit;

namespace ombrelay {

class Blocklist;
class BlocklistView;
class PortMapStatusView;

// The network pane: the listening port (or a random one) with its mapping, the global limits and when
// they are lifted, and the blocklist. Numbers are stored when their editing ends, when the window hides
// and at quit; a zero upload limit is confirmed first.
class KoNetworkPreferences : public QWidget
{
    Q_OBJECT
public:
    KoNetworkPreferences(Blocklist& blocklist, QWidget* parent = nullptr);

    // Writes the port and limits being edited.
    void commitEditing();
    // The port field's value raised to 1024 or lowered to 65535 and stored as "kBTPort".
    void btport();

    QSpinBox* portField() const { return m_port; }
    QSpinBox* uploadLimitField() const { return m_uploadLimit; }
    QSpinBox* downloadLimitField() const { return m_downloadLimit; }
    QTimeEdit* startTimeField() const { return m_startTime; }
    BlocklistView* blocklistView() const { return m_blocklistView; }
    PortMapStatusView* portMapStatusView() const { return m_portMapStatus; }
    int originalUploadLimit() const { return m_originalUploadLimit; }

private:
    void uploadLimitChanged();

    QSpinBox* m_port;
    QSpinBox* m_downloadLimit;
    QSpinBox* m_uploadLimit;
    QSpinBox* m_idleMinutes;
    QTimeEdit* m_startTime;
    QTimeEdit* m_endTime;
    PortMapStatusView* m_portMapStatus;
    BlocklistView* m_blocklistView;
    int m_originalUploadLimit = 0;
    bool m_asking = false;
};

}  // namespace ombrelay
