#include "app/prefs/KoNetworkPreferences.h"

#include "app/prefs/BlocklistView.h"
#include "app/prefs/PortMapStatusView.h"
#include "app/prefs/SettingsBinder.h"
#include "kit/Settings.h"
#include "transfers/TransferAlert.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace ombrelay {

namespace {

QCheckBox* checkBox(const QString& text, const QString& key, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    SettingsBinder::bindCheckBox(box, key);
    return box;
}

QSpinBox* spinBox(int minimum, int maximum, const QString& suffix, const QString& key, QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setSuffix(suffix);
    SettingsBinder::bindSpinBox(box, key);
    return box;
}

QWidget* row(QWidget* parent, std::initializer_list<QWidget*> widgets)
{
    auto* line = new QWidget(parent);
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    layout->addStretch();
    return line;
}

}  // namespace

KoNetworkPreferences::KoNetworkPreferences(Blocklist& blocklist, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);

    auto* port = new QGroupBox(tr("Port"), this);
    auto* portLayout = new QVBoxLayout(port);
    m_port = new QSpinBox(port);
    m_port->setRange(1024, 65535);
    m_port->setObjectName(QStringLiteral("btport"));
    m_port->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    m_port->setKeyboardTracking(false);
    m_port->setValue(int(Settings::instance().integer(QStringLiteral("kBTPort"))));
    connect(m_port, &QSpinBox::editingFinished, this, &KoNetworkPreferences::btport);
    connect(&Settings::instance(), &Settings::changed, this, [this](const QString& key) {
        if (key == QLatin1String("kBTPort") && !m_port->hasFocus())
            m_port->setValue(int(Settings::instance().integer(key)));
    });
    portLayout->addWidget(row(port, {new QLabel(tr("Incoming port:"), port), m_port,
                                     checkBox(tr("Use a random port"), QStringLiteral("kRandomPort"), port)}));
    m_portMapStatus = new PortMapStatusView(port);
    portLayout->addWidget(m_portMapStatus);
    layout->addWidget(port);

    auto* limits = new QGroupBox(tr("Bandwidth"), this);
    auto* limitsLayout = new QVBoxLayout(limits);
    const QString rate = tr(" KB/s");
    m_downloadLimit = spinBox(0, 1000000, rate, QStringLiteral("kDownloadLimit"), limits);
    m_uploadLimit = spinBox(0, 1000000, rate, QStringLiteral("kUploadLimit"), limits);
    limitsLayout->addWidget(row(limits, {checkBox(tr("Limit download rate to"), QStringLiteral("kDownloadLimitEnabled"), limits),
                                         m_downloadLimit}));
    limitsLayout->addWidget(row(limits, {checkBox(tr("Limit upload rate to"), QStringLiteral("kUploadLimitEnabled"), limits),
                                         m_uploadLimit}));
    m_startTime = new QTimeEdit(limits);
    m_endTime = new QTimeEdit(limits);
    SettingsBinder::bindTimeEdit(m_startTime, QStringLiteral("kDisableStartTime"));
    SettingsBinder::bindTimeEdit(m_endTime, QStringLiteral("kDisableEndTime"));
    limitsLayout->addWidget(row(limits, {checkBox(tr("Lift limits from"), QStringLiteral("kDisableLimits"), limits),
                                         m_startTime, new QLabel(tr("to"), limits), m_endTime}));
    m_idleMinutes = spinBox(1, 1440, tr(" minutes"), QStringLiteral("kDisableIdleTime"), limits);
    limitsLayout->addWidget(row(limits, {checkBox(tr("Lift limits when idle for"), QStringLiteral("kDisableLimitsIdle"), limits),
                                         m_idleMinutes}));
    layout->addWidget(limits);

    auto* blocklistBox = new QGroupBox(tr("Blocklist"), this);
    auto* blocklistLayout = new QVBoxLayout(blocklistBox);
    blocklistLayout->addWidget(checkBox(tr("Refuse peers on the blocklist"), QStringLiteral("kBlocklistEnabled"), blocklistBox));
    m_blocklistView = new BlocklistView(blocklist, blocklistBox);
    blocklistLayout->addWidget(m_blocklistView);
    layout->addWidget(blocklistBox);
    layout->addStretch();

    m_originalUploadLimit = int(Settings::instance().integer(QStringLiteral("kUploadLimit")));
    connect(&Settings::instance(), &Settings::changed, this, [this](const QString& key) {
        if (key == QLatin1String("kUploadLimit"))
            uploadLimitChanged();
    });
}

void KoNetworkPreferences::btport()
{
    SettingsBinder::commit(m_port, QStringLiteral("kBTPort"));
}

void KoNetworkPreferences::commitEditing()
{
    btport();
    SettingsBinder::commit(m_downloadLimit, QStringLiteral("kDownloadLimit"));
    SettingsBinder::commit(m_uploadLimit, QStringLiteral("kUploadLimit"));
    SettingsBinder::commit(m_idleMinutes, QStringLiteral("kDisableIdleTime"));
}

void KoNetworkPreferences::uploadLimitChanged()
{
    const int limit = int(Settings::instance().integer(QStringLiteral("kUploadLimit")));
    if (limit > 0) {
        m_originalUploadLimit = limit;
        return;
    }
    if (m_asking || m_originalUploadLimit <= 0)
        return;
    m_asking = true;
    const TransferAlert alert{
        tr("Set the upload limit to 0 KB/s?"),
        tr("BitTorrent is a reciprocal protocol that rewards sharing of data. If you are not sharing any data then "
           "others may not share with you, and your download speeds may be poor."),
        {tr("Set Limit to 0 KB/s"), tr("Keep Limit at %1 KB/s").arg(m_originalUploadLimit)}};
    TransferAlert::run(alert, window(), [this](int button) {
        m_asking = false;
        if (button == 0)
            m_originalUploadLimit = 0;
        else
            Settings::instance().setInteger(QStringLiteral("kUploadLimit"), m_originalUploadLimit);
    });
}

}  // namespace ombrelay
