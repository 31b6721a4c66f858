#pragma once

#include <QString>

class QAbstractButton;
class QSpinBox;
class QTimeEdit;

namespace ombrelay {

// Ties a control to a settings key both ways: the control writes the key (a number when editing ends,
// not at every keystroke) and follows every change of it, whoever made it.
class SettingsBinder
{
public:
    static void bindCheckBox(QAbstractButton* box, const QString& key);
    static void bindSpinBox(QSpinBox* box, const QString& key);
    // The stored "HH:mm:ss" shown as it is.
    static void bindTimeEdit(QTimeEdit* edit, const QString& key);
    // Writes a spin box's typed value now (the window hides or the program quits mid-edit).
    static void commit(QSpinBox* box, const QString& key);
};

}  // namespace ombrelay
