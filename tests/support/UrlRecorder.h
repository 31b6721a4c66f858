#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

namespace ombrelay::test {

// Takes the desktop's opening of the given schemes while it lives and records the addresses.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    explicit UrlRecorder(QStringList schemes = {QStringLiteral("http"), QStringLiteral("https")});
    ~UrlRecorder() override;
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }

private:
    QStringList m_schemes;
};

}  // namespace ombrelay::test
