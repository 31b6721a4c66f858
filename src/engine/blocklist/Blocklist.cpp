#include "engine/blocklist/Blocklist.h"

#include "engine/peers/PeerAddress.h"
#include "kit/AppPaths.h"
#include "kit/FileHelpers.h"
#include "kit/SerialQueue.h"
#include "kit/Settings.h"
#include "kit/SqliteDatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QtEndian>

namespace ombrelay {
namespace {

const QString kEnabledKey = QStringLiteral("kBlocklistEnabled");
const QString kLastUpdateKey = QStringLiteral("kBlocklistLastUpdate");
const QString kEntryCountKey = QStringLiteral("kBlocklistEntryCount");

constexpr int kLookupBusyTimeoutMs = 200;

}  // namespace

Blocklist& Blocklist::instance()
{
    static Blocklist* blocklist = new Blocklist(databasePath(), Settings::instance());
    return *blocklist;
}

QString Blocklist::databasePath()
{
    return QDir(AppPaths::applicationSupportPath()).filePath(QStringLiteral("Blocklist.db"));
}

Blocklist::Blocklist(QString databasePath, Settings& settings, QObject* parent)
    : QObject(parent), m_databasePath(std::move(databasePath)), m_settings(settings)
{
    m_enabled = m_settings.boolean(kEnabledKey);
    connect(&m_settings, &Settings::changed, this, [this](const QString& key) {
        if (key == kEnabledKey)
            m_enabled = m_settings.boolean(kEnabledKey);
    });
}

Blocklist::~Blocklist()
{
    if (m_queue) {
        m_cancelled = true;
        m_queue->cancel(this);
    }
    closeLookup();
}

bool Blocklist::openLookup()
{
    if (m_lookup)
        return true;
    if (m_lookupBroken)
        return false;
    m_database = std::make_unique<SqliteDatabase>();
    if (createParentFolders(m_databasePath) && m_database->open(m_databasePath, kLookupBusyTimeoutMs) && BlocklistImport::prepareConnection(*m_database))
        m_lookup = m_database->prepare(QStringLiteral("lookupStatement"),
                                       "SELECT lower, upper FROM blocklist WHERE (? >= lower) "
                                       "ORDER BY lower DESC LIMIT 1;");
    if (!m_lookup) {
        closeLookup();
        m_lookupBroken = true;
        return false;
    }
    return true;
}

void Blocklist::closeLookup()
{
    m_lookup.reset();
    m_database.reset();
}

bool Blocklist::isBlocked(quint32 address)
{
    if (!m_enabled || !openLookup())
        return false;
    const quint32 hostOrder = qFromBigEndian(address);
    m_lookup->bind(1, qint64(hostOrder));
    bool blocked = false;
    if (m_lookup->step() == SqliteStatement::Step::Row)
        blocked = m_lookup->integer(0) <= qint64(hostOrder) && m_lookup->integer(1) >= qint64(hostOrder);
    m_lookup->reset();
    if (m_database->isCorrupt()) {
        closeLookup();
        m_lookupBroken = true;
    }
    return blocked;
}

bool Blocklist::shouldRefuseAddress(quint32 address)
{
    if (!isBlocked(address))
        return false;
    qWarning("*** Blocklist: Refusing connection to: %s",
             qPrintable(PeerAddress::addressText(address)));
    return true;
}

bool Blocklist::importList(const QString& path)
{
    if (isImporting())
        return false;
    startImport(path, true);
    return true;
}

void Blocklist::cancelImport()
{
    m_cancelled = true;
}

void Blocklist::cancelImportAndWait()
{
    if (!m_importing || !m_queue)
        return;
    m_cancelled = true;
    m_queue->cancel(this);
}

void Blocklist::startImport(const QString& path, bool retryOnCorrupt)
{
    m_cancelled = false;
    m_importing = true;
    if (!m_queue)
        m_queue = std::make_unique<SerialQueue>(QStringLiteral("Blocklist import"));
    const QString databasePath = m_databasePath;
    m_queue->post(this, [this, databasePath, path, retryOnCorrupt] {
        const auto progress = [this](double fraction) {
            QMetaObject::invokeMethod(this, [this, fraction] { emit importProgress(fraction); },
                                      Qt::QueuedConnection);
        };
        const BlocklistImport::Outcome outcome = BlocklistImport::run(databasePath, path, m_cancelled, progress);
        QMetaObject::invokeMethod(this, [=, this] { importEnded(path, retryOnCorrupt, outcome); },
                                  Qt::QueuedConnection);
    });
}

void Blocklist::importEnded(const QString& path, bool retryOnCorrupt, BlocklistImport::Outcome outcome)
{
    m_importing = false;
    // The lookup connection reopens on the next lookup, on the new file if the old one was replaced.
    closeLookup();
    m_lookupBroken = false;

    if (outcome.result == BlocklistImport::Result::Corrupt && retryOnCorrupt) {
        qWarning("*** Blocklist: %s is damaged; starting a new one", qPrintable(m_databasePath));
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(m_databasePath + QLatin1String(suffix));
        startImport(path, false);
        return;
    }
    const bool succeeded = outcome.result == BlocklistImport::Result::Succeeded;
    if (succeeded) {
        m_settings.setValue(kLastUpdateKey, QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        m_settings.setInteger(kEntryCountKey, outcome.entryCount);
    }
    emit importFinished(succeeded);
}

}  // namespace ombrelay
