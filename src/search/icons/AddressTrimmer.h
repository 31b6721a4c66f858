#pragma once

#include "kit/http/PZHTTPLoader.h"

#include <QString>
#include <QVariant>

namespace ombrelay {

// Asks the address-shortening service for a short form of a long address. The long address goes as an
// escaped query value; the answer (at most 4 KiB) is taken whole as text. Reports by `trimmed`, or by
// `failed` for another status, a network failure or an address that cannot be loaded.
class AddressTrimmer : public PZHTTPLoader
{
    Q_OBJECT
public:
    static constexpr qint64 kMaxAnswerBytes = 4096;

    // Starts loading at once.
    explicit AddressTrimmer(const QString& longAddress, QObject* parent = nullptr);

    static QUrl serviceAddress(const QString& longAddress);

    QVariant representedObject() const { return m_representedObject; }
    void setRepresentedObject(const QVariant& object) { m_representedObject = object; }
    QString trimmedAddress() const { return m_trimmedAddress; }

signals:
    void trimmed(ombrelay::AddressTrimmer* trimmer);

protected:
    bool shouldAutoRedirect() const override { return true; }
    void handleCompletion() override;

private:
    QVariant m_representedObject;
    QString m_trimmedAddress;
};

}  // namespace ombrelay
