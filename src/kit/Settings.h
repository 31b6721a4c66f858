#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <QTime>
#include <QVariant>
#include <memory>

namespace ombrelay {

// The user's settings: an INI file (~/.config/Ombrelay/Ombrelay.conf by default). Values are stored as
// strings ("1", "0", numbers) and read at the moment of use. `changed` replaces the observation of the
// defaults controller.
class Settings : public QObject
{
    Q_OBJECT
public:
    explicit Settings(const QString& iniPath, QObject* parent = nullptr);
    ~Settings() override;

    // The process-wide settings, one object for the process. useFile() chooses another file before (or
    // instead of) the default one, as tests and the headless driver do; `changed` tells each key that
    // reads differently in the new file.
    static Settings& instance();
    static void useFile(const QString& iniPath);
    static QString defaultFilePath();

    // Stores the value only when the key is absent; never overwrites the user's value.
    bool registerDefault(const QString& key, const QVariant& value);
    bool hasDefault(const QString& key) const;

    QVariant value(const QString& key, const QVariant& fallback = {}) const;
    QString string(const QString& key) const;
    bool boolean(const QString& key) const;
    qint64 integer(const QString& key) const;
    double real(const QString& key) const;
    QByteArray bytes(const QString& key) const;
    QStringList stringList(const QString& key) const;
    // A time of day stored as "HH:MM:SS" in UTC; invalid when absent or unreadable.
    QTime timeOfDay(const QString& key) const;

    void setValue(const QString& key, const QVariant& value);
    void setBool(const QString& key, bool on);
    void setInteger(const QString& key, qint64 value);
    void setTimeOfDay(const QString& key, QTime time);
    void remove(const QString& key);
    void sync();

    QString filePath() const;

signals:
    void changed(const QString& key);

private:
    std::unique_ptr<QSettings> m_settings;
};

}  // namespace ombrelay
