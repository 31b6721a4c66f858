#include "kit/Settings.h"

#include <QDir>
#include <QStandardPaths>
#include <utility>

namespace ombrelay {
namespace {

std::unique_ptr<Settings>& shared()
{
    static std::unique_ptr<Settings> settings;
    return settings;
}

}  // namespace

Settings::Settings(const QString& iniPath, QObject* parent)
    : QObject(parent), m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

Settings::~Settings() = default;

QString Settings::defaultFilePath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Ombrelay/Ombrelay.conf"));
}

Settings& Settings::instance()
{
    if (!shared())
        shared() = std::make_unique<Settings>(defaultFilePath());
    return *shared();
}

void Settings::useFile(const QString& iniPath)
{
    if (!shared()) {
        shared() = std::make_unique<Settings>(iniPath);
        return;
    }
    // The object stays, for the engine and the views hold it: they read the new file from now on and hear
    // of every key that reads differently there.
    Settings& settings = *shared();
    const std::unique_ptr<QSettings> old =
        std::exchange(settings.m_settings, std::make_unique<QSettings>(iniPath, QSettings::IniFormat));
    QStringList keys = old->allKeys() + settings.m_settings->allKeys();
    keys.removeDuplicates();
    for (const QString& key : std::as_const(keys))
        if (old->value(key) != settings.m_settings->value(key))
            emit settings.changed(key);
}

bool Settings::registerDefault(const QString& key, const QVariant& value)
{
    if (hasDefault(key))
        return false;
    m_settings->setValue(key, value);
    emit changed(key);
    return true;
}

bool Settings::hasDefault(const QString& key) const
{
    return m_settings->contains(key);
}

QVariant Settings::value(const QString& key, const QVariant& fallback) const
{
    return m_settings->value(key, fallback);
}

QString Settings::string(const QString& key) const
{
    return m_settings->value(key).toString();
}

bool Settings::boolean(const QString& key) const
{
    const QString text = string(key).trimmed().toLower();
    if (text == QLatin1String("yes") || text == QLatin1String("true"))
        return true;
    return text.toLongLong() != 0;
}

qint64 Settings::integer(const QString& key) const
{
    const QString text = string(key).trimmed();
    bool ok = false;
    const qint64 whole = text.toLongLong(&ok);
    if (ok)
        return whole;
    const double real = text.toDouble(&ok);
    if (ok && real > -9.2e18 && real < 9.2e18)
        return qint64(real);
    return (text.toLower() == QLatin1String("yes") || text.toLower() == QLatin1String("true")) ? 1 : 0;
}

double Settings::real(const QString& key) const
{
    return string(key).trimmed().toDouble();
}

QByteArray Settings::bytes(const QString& key) const
{
    return m_settings->value(key).toByteArray();
}

QStringList Settings::stringList(const QString& key) const
{
    return m_settings->value(key).toStringList();
}

QTime Settings::timeOfDay(const QString& key) const
{
    return QTime::fromString(string(key), QStringLiteral("HH:mm:ss"));
}

void Settings::setValue(const QString& key, const QVariant& value)
{
    if (m_settings->contains(key) && m_settings->value(key) == value)
        return;
    m_settings->setValue(key, value);
    emit changed(key);
}

void Settings::setBool(const QString& key, bool on)
{
    setValue(key, on ? QStringLiteral("1") : QStringLiteral("0"));
}

void Settings::setInteger(const QString& key, qint64 value)
{
    setValue(key, QString::number(value));
}

void Settings::setTimeOfDay(const QString& key, QTime time)
{
    setValue(key, time.toString(QStringLiteral("HH:mm:ss")));
}

void Settings::remove(const QString& key)
{
    if (!m_settings->contains(key))
        return;
    m_settings->remove(key);
    emit changed(key);
}

void Settings::sync()
{
    m_settings->sync();
}

QString Settings::filePath() const
{
    return m_settings->fileName();
}

}  // namespace ombrelay
