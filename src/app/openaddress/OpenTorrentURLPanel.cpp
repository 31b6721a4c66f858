#include "app/openaddress/OpenTorrentURLPanel.h"

#include "engine/core/EngineHost.h"
#include "engine/storage/TorrentAdder.h"
#include "engine/torrent/MagnetURL.h"
#include "engine/torrent/Metainfo.h"
#include "kit/PZFileSize.h"
#include "kit/PerformLater.h"
#include "kit/Settings.h"
#include "kit/http/PZHTTPLoader.h"
#include "search/MagnetResolver.h"
#include "uikit/PZIconCache.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QThreadPool>
#include <QVBoxLayout>

namespace ombrelay {
namespace {

const QString kChangeKey = QStringLiteral("textDidChange");

// Torrent files: up to the metainfo cap, redirects followed, the user's cookies sent where allowed (a site
// may serve its files only to members). A fetch ends when the server falls silent, or at the total limit.
class TorrentFileLoader : public PZHTTPLoader
{
public:
    TorrentFileLoader(QObject* parent, int stallTimeoutMs) : PZHTTPLoader(parent)
    {
        setMaxBodySize(kTorrentFileBodyCap);
        setStallTimeoutMs(stallTimeoutMs);
        setTimeoutMs(OpenTorrentURLPanel::kFetchTotalMs);
    }

protected:
    bool shouldAutoRedirect() const override { return true; }
    bool shouldSendCookies() const override { return userAllowsCookies(); }
};

bool hasOpenableScheme(const QString& text)
{
    return text.startsWith(QLatin1String("http:"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("https:"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("magnet:"), Qt::CaseInsensitive);
}

}  // namespace

OpenTorrentURLPanel::OpenTorrentURLPanel(QWidget* mainWindow, SessionLifecycle& lifecycle)
    : QDialog(mainWindow), m_lifecycle(lifecycle), m_urlField(new QLineEdit(this)),
      m_progressIndicator(new QProgressBar(this)), m_cancelButton(new QPushButton(tr("Cancel"), this)),
      m_downloadButton(new QPushButton(tr("Download"), this)), m_iconView(new QLabel(this)),
      m_torrentPath(new QLabel(this)), m_torrentDetails(new QLabel(this)), m_status(new QLabel(this)),
      m_details(new QWidget(this)), m_animation(new QPropertyAnimation(this, "geometry", this))
{
    setWindowTitle(tr("Open Address"));
    setWindowModality(Qt::WindowModal);
    m_progressIndicator->setRange(0, 0);
    m_progressIndicator->setMaximumHeight(8);
    m_progressIndicator->setTextVisible(false);
    m_progressIndicator->hide();
    m_urlField->setPlaceholderText(tr("http://, https:// or magnet: address of a torrent"));
    for (QLabel* label : {m_torrentPath, m_torrentDetails, m_status})
        label->setTextFormat(Qt::PlainText);
    m_iconView->setFixedSize(32, 32);
    m_cancelButton->setAutoDefault(false);
    m_downloadButton->setAutoDefault(false);
    m_downloadButton->setDefault(true);  // Return acts only while it is enabled

    auto* texts = new QVBoxLayout;
    texts->addWidget(m_torrentPath);
    texts->addWidget(m_torrentDetails);
    auto* details = new QHBoxLayout(m_details);
    details->addWidget(m_iconView);
    details->addLayout(texts, 1);
    m_details->hide();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_downloadButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Enter the address of a torrent file or a magnet link:"), this));
    layout->addWidget(m_urlField);
    layout->addWidget(m_progressIndicator);
    layout->addWidget(m_details);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setSizeGripEnabled(false);
    resize(kWidth, kCollapsedHeight);

    m_animation->setDuration(300);
    connect(m_urlField, &QLineEdit::textEdited, this, &OpenTorrentURLPanel::addressEdited);
    connect(m_cancelButton, &QPushButton::clicked, this, &OpenTorrentURLPanel::reject);
    connect(m_downloadButton, &QPushButton::clicked, this, &OpenTorrentURLPanel::download);
    m_downloadButton->setEnabled(false);
}

OpenTorrentURLPanel::~OpenTorrentURLPanel()
{
    PerformLater::cancel(this);
    killDownloads();
}

void OpenTorrentURLPanel::openPanelWithAddress(const QString& address)
{
    resetState();
    setInitialAddress(address);
    if (!isVisible())
        open();
}

void OpenTorrentURLPanel::resetState()
{
    if (isVisible())
        return;
    PerformLater::cancel(this, kChangeKey);
    killDownloads();
    m_animation->stop();
    m_expanded = false;
    m_details->hide();
    resize(kWidth, kCollapsedHeight);
    m_urlField->clear();
    m_lastString.clear();
    m_torrent.reset();
    m_downloadButton->setEnabled(false);
    m_progressIndicator->hide();
    m_status->clear();
    // Only one line of reasonable length is offered from the clipboard.
    const QString pasted = QGuiApplication::clipboard()->text();
    if (pasted.size() <= kMaxPastedBytes && !pasted.trimmed().contains(u'\n') && !pasted.trimmed().contains(u'\r'))
        setInitialAddress(pasted);
}

void OpenTorrentURLPanel::setInitialAddress(const QString& address)
{
    const QString trimmed = address.trimmed();
    if (!hasOpenableScheme(trimmed))
        return;
    m_lastString.clear();
    m_urlField->setText(trimmed);
    PerformLater::scheduleOnce(this, [this] { textDidChange(); }, kTypingPauseMs, kChangeKey);
}

void OpenTorrentURLPanel::addressEdited()
{
    if (m_urlField->text().trimmed() == m_lastString) {
        PerformLater::cancel(this, kChangeKey);
        return;
    }
    // The panel follows every keystroke at once; the fetch waits for a pause in the typing. The address
    // it was showing is forgotten, so typing back to it fetches it again.
    m_lastString.clear();
    m_torrent.reset();
    m_downloadButton->setEnabled(false);
    killDownloads();
    m_status->clear();
    collapse();
    PerformLater::scheduleOnce(this, [this] { textDidChange(); }, kTypingPauseMs, kChangeKey);
}

void OpenTorrentURLPanel::textDidChange()
{
    const QString text = m_urlField->text().trimmed();
    if (text == m_lastString)
        return;
    m_lastString = text;
    m_torrent.reset();
    m_downloadButton->setEnabled(false);
    killDownloads();
    m_status->clear();
    collapse();

    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid())
        return;
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        m_progressIndicator->show();
        fetch(text);
    } else if (scheme == QLatin1String("magnet")) {
        const QByteArray hash = MagnetURL(text).infoHash();
        if (hash.isEmpty()) {
            m_status->setText(tr("This is not a magnet link."));
            return;
        }
        m_magnetHash = hash;
        m_progressIndicator->show();
        m_magnetResolver = new MagnetResolver(this);
        connect(m_magnetResolver, &MagnetResolver::resolved, this, [this](const QString&, const QByteArray& data) {
            dropMagnetResolver();
            candidateArrived(data);
        });
        connect(m_magnetResolver, &MagnetResolver::unresolved, this, [this] {
            dropMagnetResolver();
            fetchingEnded(tr("No torrent was found for this magnet link."));
        });
        m_magnetResolver->start(text);
    }
}

bool OpenTorrentURLPanel::isFetching() const
{
    return !m_downloads.isEmpty() || m_magnetResolver || m_pendingReads > 0;
}

void OpenTorrentURLPanel::killDownloads()
{
    ++m_generation;
    m_pendingReads = 0;
    for (PZHTTPLoader* loader : std::exchange(m_downloads, {})) {
        loader->disconnect(this);
        loader->killConnection();
        loader->deleteLater();
    }
    dropMagnetResolver();
    m_magnetHash.clear();
    m_progressIndicator->hide();
}

void OpenTorrentURLPanel::dropMagnetResolver()
{
    if (m_magnetResolver) {
        m_magnetResolver->disconnect(this);
        m_magnetResolver->deleteLater();  // it may be the one reporting
    }
    m_magnetResolver = nullptr;
}

void OpenTorrentURLPanel::fetch(const QString& address)
{
    auto* loader = new TorrentFileLoader(this, m_fetchStallMs);
    m_downloads.insert(loader);
    connect(loader, &PZHTTPLoader::completed, this, [this](PZHTTPLoader* l) { fetched(l); });
    connect(loader, &PZHTTPLoader::failed, this, [this](PZHTTPLoader* l) { fetchFailed(l); });
    loader->loadURL(QUrl(address, QUrl::TolerantMode));
}

void OpenTorrentURLPanel::fetched(PZHTTPLoader* loader)
{
    if (!m_downloads.remove(loader))
        return;
    loader->deleteLater();
    const int status = loader->statusCode();
    if (status < 200 || status > 299)
        return fetchingEnded(tr("Could not fetch the torrent (status %1).").arg(status));
    candidateArrived(loader->data());
}

void OpenTorrentURLPanel::fetchFailed(PZHTTPLoader* loader)
{
    if (!m_downloads.remove(loader))
        return;
    loader->deleteLater();
    const bool tooLarge = loader->error().kind == HttpError::Kind::BodyTooLarge;
    fetchingEnded(tooLarge ? tr("This is not a torrent file.") : tr("Could not fetch the torrent (no answer)."));
}

void OpenTorrentURLPanel::candidateArrived(const QByteArray& data)
{
    ++m_pendingReads;
    const QPointer<OpenTorrentURLPanel> self(this);
    const quint64 generation = m_generation;
    // Read where it arrived: the added torrent is made from these bytes, so no file is kept.
    QThreadPool::globalInstance()->start([self, generation, data] {
        std::optional<Metainfo> metainfo = Metainfo::read(data);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, generation, metainfo = std::move(metainfo)]() mutable {
            if (!self || self->m_generation != generation)
                return;
            --self->m_pendingReads;
            self->candidateRead(metainfo ? TorrentLine::torrentLineForMetainfo(std::move(*metainfo)) : nullptr);
        }, Qt::QueuedConnection);
    });
}

void OpenTorrentURLPanel::candidateRead(const TorrentLinePtr& line)
{
    if (m_torrent)
        return;
    const bool matches = line && (m_magnetHash.isEmpty() || line->infoHash() == m_magnetHash);
    if (matches)
        return accept(line);
    fetchingEnded(m_magnetHash.isEmpty() ? tr("This is not a torrent file.") : tr("No torrent was found for this magnet link."));
}

void OpenTorrentURLPanel::accept(const TorrentLinePtr& line)
{
    killDownloads();
    m_torrent = line;
    m_iconView->setPixmap(line->files().size() > 1 ? PZIconCache::instance32().folderIcon()
                                                   : PZIconCache::instance32().iconForExtension(QFileInfo(line->path()).suffix()));
    m_torrentPath->setText(line->path());
    const QString size = PZFileSize::sizeWithValue(line->fileLength()).description();
    const qsizetype files = line->files().size();
    m_torrentDetails->setText(files < 2 ? size : QStringLiteral("%1, %2").arg(tr("%1 files").arg(files), size));
    m_status->clear();
    expand();
    m_downloadButton->setEnabled(true);
}

void OpenTorrentURLPanel::fetchingEnded(const QString& status)
{
    if (m_torrent || isFetching())
        return;  // another candidate may still arrive
    m_progressIndicator->hide();
    m_status->setText(status);
    collapse();
}

void OpenTorrentURLPanel::expand()
{
    m_details->show();
    m_expanded = true;
    setFrameAnimated(kExpandedHeight);
}

void OpenTorrentURLPanel::collapse()
{
    m_details->hide();
    m_expanded = false;
    setFrameAnimated(kCollapsedHeight);
}

void OpenTorrentURLPanel::setFrameAnimated(int height)
{
    // The top and left edges stay where they are.
    const QRect target(geometry().topLeft(), QSize(kWidth, height));
    if (m_animation->state() == QAbstractAnimation::Running && m_animation->endValue().toRect() == target)
        return;
    m_animation->stop();
    if (target == geometry())
        return;
    if (!isVisible()) {
        setGeometry(target);
        return;
    }
    m_animation->setStartValue(geometry());
    m_animation->setEndValue(target);
    m_animation->start();
}

void OpenTorrentURLPanel::download()
{
    const TorrentLinePtr torrent = m_torrent;
    if (!torrent || !m_downloadButton->isEnabled())
        return;
    endSheet();
    EngineHost& host = EngineHost::instance();
    if (TorrentLinePtr listed = host.torrentForInfoHash(torrent->infoHash())) {
        host.selectObjects({listed});
        host.showDownloadsPane();
        return;
    }
    const bool chooseFolder = Settings::instance().boolean(QStringLiteral("kConfirmLocationInternal"));
    TorrentAdder(m_lifecycle).addTorrentLines({torrent}, chooseFolder, false, true);
}

void OpenTorrentURLPanel::reject()
{
    endSheet();
}

void OpenTorrentURLPanel::endSheet()
{
    PerformLater::cancel(this, kChangeKey);
    killDownloads();
    QDialog::done(QDialog::Rejected);
}

}  // namespace ombrelay
