#pragma once

#include <QDialog>

class QLabel;

namespace ombrelay {

// The about box (application-modal): name, icon, "Version <version> (v<build>)" and a link to the product's site.
class KoAboutBoxController : public QDialog
{
    Q_OBJECT
public:
    explicit KoAboutBoxController(QWidget* parent = nullptr);

    static QString versionText();
    QLabel* versionField() const { return m_versionField; }
    void showCentered();

private:
    QLabel* m_versionField;
};

}  // namespace ombrelay
