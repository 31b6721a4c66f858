#pragma once

#include <QObject>
#include <QPointer>

namespace ombrelay {

class Settings;

// The six settings read often enough to cache. All six are re-read whenever any of them changes, and when
// the process-wide settings object is replaced. Main thread only.
class OBDefaults : public QObject
{
    Q_OBJECT
public:
    static OBDefaults& instance();
    static void loadDefaults();

    static bool kHighlightQueryTerm();
    static bool kDisplayPercentages();
    static bool kUploadLimitEnabled();
    static bool kDisableCookies();
    static qint64 kUploadLimit();
    static qint64 kQueryViewMode();

private:
    OBDefaults() = default;
    static OBDefaults& current();
    void observe(Settings& settings);
    void load();

    QPointer<Settings> m_settings;
    QString m_filePath;  // another file chosen for the settings is read afresh
    QMetaObject::Connection m_connection;
    bool m_highlightQueryTerm = false;
    bool m_displayPercentages = false;
    bool m_uploadLimitEnabled = false;
    bool m_disableCookies = false;
    qint64 m_uploadLimit = 0;
    qint64 m_queryViewMode = 0;
};

}  // namespace ombrelay
