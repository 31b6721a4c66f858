#pragma once

#include "transfers/BandwidthPopUpButton.h"

namespace ombrelay {

// The limit menu of the selected torrent's upload rate.
class UploadBandwidthPopUp : public BandwidthPopUpButton
{
    Q_OBJECT
public:
    using BandwidthPopUpButton::BandwidthPopUpButton;

    QString limitText() const override { return tr("Bandwidth Limit (Upload):"); }
    QString limitKey() const override { return QStringLiteral("customUploadLimit"); }
};

}  // namespace ombrelay
