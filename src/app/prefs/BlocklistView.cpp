#include "app/prefs/BlocklistView.h"

#include "engine/blocklist/Blocklist.h"
#include "kit/AppPaths.h"
#include "kit/DateText.h"
#include "kit/PZByteSize.h"
#include "kit/SerialQueue.h"
#include "kit/Settings.h"
#include "kit/http/PZHTTPLoader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>

namespace ombrelay {

namespace {

// The provider answers a browser's request.
class BlocklistLoader : public PZHTTPLoader
{
protected:
    QByteArray userAgent() const override
    {
        return "Mozilla/5.0 (Macintosh; U; Intel Mac OS X 10_6_3; en-us) AppleWebKit/531.22.7 (KHTML, like Gecko) "
               "Version/4.0.5 Safari/531.22.7";
    }
    bool shouldSendCookies() const override { return false; }
};

bool isZipArchive(const QByteArray& data)
{
    return data.startsWith(QByteArrayLiteral("PK\x03\x04"));
}

}  // namespace

const QString BlocklistView::kProviderKey = QStringLiteral("kBlocklistProvider");

QUrl BlocklistView::archiveAddressFor(const QString& provider)
{
    const QString text = provider.trimmed();
    if (text.isEmpty() || text.size() > 2000)
        return {};
    const bool whole = text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    QUrl address(whole ? text : QStringLiteral("http://%1/config/level1.zip").arg(text), QUrl::StrictMode);
    if (!address.isValid() || address.host().isEmpty() || (!whole && text.contains(QLatin1Char('/'))))
        return {};
    return address;
}

BlocklistView::BlocklistView(Blocklist& blocklist, QWidget* parent)
    : QWidget(parent), m_blocklist(blocklist), m_providerField(new QLineEdit(this)),
      m_downloadButton(new QPushButton(tr("Update Now"), this)),
      m_lastDownloadLabel(new QLabel(tr("Last update:"), this)),
      m_numberOfEntriesLabel(new QLabel(tr("Entries:"), this)), m_lastDownload(new QLabel(this)),
      m_numberOfEntries(new QLabel(this)), m_downloadText(new QLabel(this)), m_failureText(new QLabel(this)),
      m_updateProgress(new QProgressBar(this))
{
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(tr("Provider:"), this), 0, 0);
    layout->addWidget(m_providerField, 0, 1, 1, 2);
    layout->addWidget(m_lastDownloadLabel, 1, 0);
    layout->addWidget(m_lastDownload, 1, 1);
    layout->addWidget(m_numberOfEntriesLabel, 2, 0);
    layout->addWidget(m_numberOfEntries, 2, 1);
    layout->addWidget(m_downloadText, 1, 0, 1, 2);
    layout->addWidget(m_updateProgress, 2, 0, 1, 2);
    layout->addWidget(m_failureText, 3, 0, 1, 3);
    layout->addWidget(m_downloadButton, 1, 2, Qt::AlignRight);
    layout->setColumnStretch(1, 1);
    layout->setHorizontalSpacing(12);
    m_providerField->setPlaceholderText(tr("Host name, or http or https address"));
    m_providerField->setText(Settings::instance().string(kProviderKey));
    connect(m_providerField, &QLineEdit::editingFinished, this, &BlocklistView::storeProvider);
    connect(&Settings::instance(), &Settings::changed, this, [this](const QString& key) {
        if (key == kProviderKey && !m_providerField->hasFocus())
            m_providerField->setText(Settings::instance().string(kProviderKey));
    });
    m_updateProgress->setTextVisible(false);
    m_failureText->setWordWrap(true);
    m_failureText->setTextFormat(Qt::PlainText);
    m_downloadText->hide();
    m_updateProgress->hide();
    m_failureText->hide();
    connect(m_downloadButton, &QPushButton::clicked, this, &BlocklistView::downloadBlocklist);
    connect(&m_blocklist, &Blocklist::importProgress, this, &BlocklistView::setInitializationProgress);
    connect(&m_blocklist, &Blocklist::importFinished, this, [this](bool succeeded) {
        if (!m_importing)
            return;  // not ours
        m_importing = false;
        removeArchive();
        setInitializationComplete(succeeded ? QString() : tr("the archive holds no usable list"));
    });
    updateBlocklistInfo();
}

BlocklistView::~BlocklistView()
{
    cancelAndWait();
}

SerialQueue& BlocklistView::operationQueue()
{
    static SerialQueue queue(QStringLiteral("Blocklist archive"));
    return queue;
}

void BlocklistView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_busy)
        updateBlocklistInfo();
}

void BlocklistView::setArchiveAddress(const QUrl& address)
{
    m_providerField->setText(address.toString());
}

void BlocklistView::storeProvider()
{
    const QString provider = m_providerField->text().trimmed();
    if (provider != Settings::instance().string(kProviderKey))
        Settings::instance().setValue(kProviderKey, provider);
}

void BlocklistView::downloadBlocklist()
{
    storeProvider();
    const QString provider = m_providerField->text().trimmed();
    if (provider.isEmpty())
        return setInitializationComplete(tr("No blocklist provider is set."), false);
    const QUrl archive = archiveAddressFor(provider);
    if (archive.isEmpty())
        return setInitializationComplete(tr("The provider is neither a host name nor an http or https address."), false);
    if (m_loader)
        m_loader->killConnection();
    m_loader = std::make_unique<BlocklistLoader>();
    m_loader->setMaxBodySize(kMaxArchiveBytes);
    m_loader->setTimeoutMs(kTotalTimeoutMs);
    m_loader->setStallTimeoutMs(m_stallTimeoutMs);
    connect(m_loader.get(), &PZHTTPLoader::progressed, this, &BlocklistView::received);
    connect(m_loader.get(), &PZHTTPLoader::completed, this, [this](PZHTTPLoader* loader, const QByteArray& data) {
        downloaded(data, loader->statusCode());
    });
    connect(m_loader.get(), &PZHTTPLoader::failed, this, [this](PZHTTPLoader*, const HttpError& error) {
        qWarning("*** BlocklistView theDownload: %s", qPrintable(error.message));
        dropLoader();
        setInitializationComplete(error.message.isEmpty() ? tr("no answer") : error.message);
    });
    showBusy(tr("Downloading..."));
    m_updateProgress->setRange(0, 0);
    m_loader->loadURL(archive);
}

void BlocklistView::received(qint64 received, qint64 expected)
{
    if (expected > 0) {
        // Kilobytes: a bar counts in int.
        m_updateProgress->setRange(0, int(qMin(expected, kMaxArchiveBytes) / 1024));
        m_updateProgress->setValue(int(qMin(received, expected) / 1024));
        m_downloadText->setText(tr("%1 of %2").arg(PZByteSize(quint64(received)).description(),
                                                   PZByteSize(quint64(expected)).description()));
    } else {
        m_updateProgress->setRange(0, 0);
        m_downloadText->setText(PZByteSize(quint64(received)).description());
    }
}

void BlocklistView::dropLoader()
{
    // Called from the loader's own report: it goes once the report has returned.
    if (m_loader)
        m_loader.release()->deleteLater();
}

void BlocklistView::downloaded(const QByteArray data, int status)
{
    dropLoader();
    if (status != 200)
        return setInitializationComplete(tr("the server answered %1").arg(status));
    if (!isZipArchive(data))
        return setInitializationComplete(tr("the answer is not a zip archive"));
    showBusy(tr("Processing..."));
    m_updateProgress->setRange(0, 0);
    const QString path = QDir(AppPaths::temporaryDirectory()).filePath(QStringLiteral("level1.zip"));
    operationQueue().post(this, [this, data, path] {
        QSaveFile file(path);
        QString error;
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
            error = file.errorString();
        QMetaObject::invokeMethod(this, [this, path, error] { archiveWritten(path, error); }, Qt::QueuedConnection);
    });
}

void BlocklistView::archiveWritten(const QString& path, const QString& error)
{
    if (!m_busy)
        return;  // cancelled meanwhile
    m_archivePath = path;
    if (!error.isEmpty()) {
        removeArchive();
        return setInitializationComplete(error);
    }
    if (!m_blocklist.importList(path)) {
        removeArchive();
        return setInitializationComplete(tr("an import is running already"));
    }
    m_importing = true;
}

void BlocklistView::setInitializationProgress(double fraction)
{
    if (!m_importing)
        return;
    m_updateProgress->setRange(0, 1000);
    m_updateProgress->setValue(int(qBound(0.0, fraction, 1.0) * 1000));
}

void BlocklistView::showBusy(const QString& text)
{
    m_busy = true;
    m_downloadText->setText(text);
    m_downloadButton->setEnabled(false);
    for (QWidget* idle : {static_cast<QWidget*>(m_lastDownloadLabel), static_cast<QWidget*>(m_numberOfEntriesLabel),
                          static_cast<QWidget*>(m_lastDownload), static_cast<QWidget*>(m_numberOfEntries),
                          static_cast<QWidget*>(m_failureText)})
        idle->hide();
    m_downloadText->show();
    m_updateProgress->show();
}

void BlocklistView::setInitializationComplete(const QString& failure, bool downloadFailed)
{
    m_busy = false;
    m_downloadButton->setEnabled(true);
    for (QWidget* idle : {static_cast<QWidget*>(m_lastDownloadLabel), static_cast<QWidget*>(m_numberOfEntriesLabel),
                          static_cast<QWidget*>(m_lastDownload), static_cast<QWidget*>(m_numberOfEntries)})
        idle->show();
    m_downloadText->hide();
    m_updateProgress->hide();
    m_failureText->setText(failure.isEmpty() || !downloadFailed ? failure : tr("Download failed: %1").arg(failure));
    m_failureText->setVisible(!failure.isEmpty());
    updateBlocklistInfo();
    emit becameIdle();
}

void BlocklistView::updateBlocklistInfo()
{
    Settings& settings = Settings::instance();
    if (!QFileInfo::exists(m_blocklist.path())) {
        settings.remove(QStringLiteral("kBlocklistLastUpdate"));
        settings.setInteger(QStringLiteral("kBlocklistEntryCount"), 0);
    }
    const QDateTime last = QDateTime::fromString(settings.string(QStringLiteral("kBlocklistLastUpdate")), Qt::ISODate);
    if (!last.isValid()) {
        m_lastDownload->setText(tr("Never downloaded"));
    } else {
        const qint64 seconds = last.secsTo(QDateTime::currentDateTimeUtc());
        m_lastDownload->setText(seconds < 60 ? tr("Just updated")
                                             : tr("%1 ago").arg(DateText::stringFromTimeInterval(double(seconds))));
    }
    m_numberOfEntries->setText(QString::number(settings.integer(QStringLiteral("kBlocklistEntryCount"))));
}

void BlocklistView::removeArchive()
{
    if (m_archivePath.isEmpty())
        return;
    const QString path = std::exchange(m_archivePath, {});
    operationQueue().post(nullptr, [path] { QFile::remove(path); });
}

void BlocklistView::cancelAndWait()
{
    if (m_loader) {
        m_loader->killConnection();
        m_loader.reset();
    }
    operationQueue().cancel(this);
    if (m_importing) {
        m_blocklist.cancelImportAndWait();
        m_importing = false;
    }
    if (!m_archivePath.isEmpty())
        QFile::remove(std::exchange(m_archivePath, {}));
    operationQueue().drain();
    m_busy = false;
}

}  // namespace ombrelay
