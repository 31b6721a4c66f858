#pragma once

#include "transfers/BandwidthPopUpButton.h"

namespace ombrelay {

// The limit menu of the selected torrent's download rate.
class DownloadBandwidthPopUp : public BandwidthPopUpButton
{
    Q_OBJECT
public:
    using BandwidthPopUpButton::BandwidthPopUpButton;

    QString limitText() const override { return tr("Bandwidth Limit (Download):"); }
    QString limitKey() const override { return QStringLiteral("customDownloadLimit"); }
};

}  // namespace ombrelay
