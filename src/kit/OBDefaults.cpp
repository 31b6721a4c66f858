#include "kit/OBDefaults.h"

#include "kit/Settings.h"

namespace ombrelay {
namespace {

const QString kHighlightQueryTermKey = QStringLiteral("kHighlightQueryTerm");
const QString kDisplayPercentagesKey = QStringLiteral("kDisplayPercentages");
const QString kUploadLimitEnabledKey = QStringLiteral("kUploadLimitEnabled");
const QString kDisableCookiesKey = QStringLiteral("kDisableCookies");
const QString kUploadLimitKey = QStringLiteral("kUploadLimit");
const QString kQueryViewModeKey = QStringLiteral("kQueryViewMode");

bool isCachedKey(const QString& key)
{
    return key == kHighlightQueryTermKey || key == kDisplayPercentagesKey || key == kUploadLimitEnabledKey
        || key == kDisableCookiesKey || key == kUploadLimitKey || key == kQueryViewModeKey;
}

}  // namespace

OBDefaults& OBDefaults::instance()
{
    static OBDefaults* defaults = new OBDefaults;  // lives as long as the process
    return *defaults;
}

OBDefaults& OBDefaults::current()
{
    OBDefaults& defaults = instance();
    Settings& settings = Settings::instance();
    if (defaults.m_settings != &settings || defaults.m_filePath != settings.filePath())
        defaults.observe(settings);
    return defaults;
}

void OBDefaults::observe(Settings& settings)
{
    disconnect(m_connection);
    m_settings = &settings;
    m_filePath = settings.filePath();
    m_connection = connect(&settings, &Settings::changed, this, [this](const QString& key) {
        if (isCachedKey(key))
            load();
    });
    load();
}

void OBDefaults::load()
{
    const Settings& s = *m_settings;
    m_highlightQueryTerm = s.boolean(kHighlightQueryTermKey);
    m_displayPercentages = s.boolean(kDisplayPercentagesKey);
    m_uploadLimitEnabled = s.boolean(kUploadLimitEnabledKey);
    m_disableCookies = s.boolean(kDisableCookiesKey);
    m_uploadLimit = s.integer(kUploadLimitKey);
    m_queryViewMode = s.integer(kQueryViewModeKey);
}

void OBDefaults::loadDefaults()
{
    current().load();
}

bool OBDefaults::kHighlightQueryTerm()
{
    return current().m_highlightQueryTerm;
}

bool OBDefaults::kDisplayPercentages()
{
    return current().m_displayPercentages;
}

bool OBDefaults::kUploadLimitEnabled()
{
    return current().m_uploadLimitEnabled;
}

bool OBDefaults::kDisableCookies()
{
    return current().m_disableCookies;
}

qint64 OBDefaults::kUploadLimit()
{
    return current().m_uploadLimit;
}

qint64 OBDefaults::kQueryViewMode()
{
    return current().m_queryViewMode;
}

}  // namespace ombrelay
