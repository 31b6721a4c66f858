#include "app/prefs/PortMapStatusView.h"

#include "engine/core/BTCore.h"
#include "engine/nat/PortMapper.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "kit/Settings.h"

#include <QHBoxLayout>
#include <QLabel>

namespace ombrelay {

PortMapStatusView::PortMapStatusView(QWidget* parent)
    : QWidget(parent), m_portField(new QLabel(this)), m_mapped(new QLabel(tr("Mapped on the router"), this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(tr("Listening on port"), this));
    layout->addWidget(m_portField);
    layout->addSpacing(12);
    layout->addWidget(m_mapped);
    layout->addStretch();
    m_portField->setObjectName(QStringLiteral("portField"));
    m_mapped->setVisible(false);
    listenForNotification(this, QStringLiteral("PortMapperChanged"), [this](const Notification&) { updateStatus(); });
    // The watcher made at launch rebinds the port first; the field reads it on the next pass.
    connect(&Settings::instance(), &Settings::changed, this, [this](const QString& key) {
        if (key == QLatin1String("kRandomPort") || key == QLatin1String("kBTPort"))
            PerformLater::schedule(this, [this] { updatePortField(); }, 0, QStringLiteral("port"));
    });
    updatePortField();
    updateStatus();
}

PortMapStatusView::~PortMapStatusView()
{
    stopListening(this);
}

void PortMapStatusView::updateStatus()
{
    const PortMapper* mapper = BTCore::instance().portMapper();
    m_mapped->setVisible(mapper && mapper->isMapped());
}

void PortMapStatusView::updatePortField()
{
    m_portField->setText(QString::number(BTCore::instance().privatePort()));
}

}  // namespace ombrelay
