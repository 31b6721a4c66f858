#include "app/prefs/SettingsBinder.h"

#include "kit/Settings.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimeEdit>
#include <algorithm>

namespace ombrelay {

void SettingsBinder::bindCheckBox(QAbstractButton* box, const QString& key)
{
    Settings& settings = Settings::instance();
    box->setChecked(settings.boolean(key));
    QObject::connect(box, &QAbstractButton::toggled, box, [key](bool on) {
        if (Settings::instance().boolean(key) != on)
            Settings::instance().setBool(key, on);
    });
    QObject::connect(&settings, &Settings::changed, box, [box, key](const QString& changed) {
        if (changed == key)
            box->setChecked(Settings::instance().boolean(key));
    });
}

void SettingsBinder::commit(QSpinBox* box, const QString& key)
{
    bool ok = false;
    const qint64 typed = box->cleanText().toLongLong(&ok);
    const int value = int(std::clamp<qint64>(ok ? typed : 0, box->minimum(), box->maximum()));
    box->setValue(value);
    if (Settings::instance().integer(key) != value || !Settings::instance().hasDefault(key))
        Settings::instance().setInteger(key, value);
}

void SettingsBinder::bindSpinBox(QSpinBox* box, const QString& key)
{
    Settings& settings = Settings::instance();
    box->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    box->setKeyboardTracking(false);
    box->setValue(int(settings.integer(key)));
    QObject::connect(box, &QSpinBox::editingFinished, box, [box, key] { commit(box, key); });
    QObject::connect(&settings, &Settings::changed, box, [box, key](const QString& changed) {
        if (changed == key && !box->hasFocus())
            box->setValue(int(Settings::instance().integer(key)));
    });
}

void SettingsBinder::bindTimeEdit(QTimeEdit* edit, const QString& key)
{
    Settings& settings = Settings::instance();
    edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    edit->setTime(settings.timeOfDay(key));
    QObject::connect(edit, &QTimeEdit::editingFinished, edit, [edit, key] {
        if (Settings::instance().timeOfDay(key) != edit->time())
            Settings::instance().setTimeOfDay(key, edit->time());
    });
    QObject::connect(&settings, &Settings::changed, edit, [edit, key](const QString& changed) {
        if (changed == key && !edit->hasFocus())
            edit->setTime(Settings::instance().timeOfDay(key));
    });
}

}  // namespace ombrelay
